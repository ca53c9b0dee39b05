#pragma once

#include <string>

class wxFileHistory;
class wxMenu;

namespace tovalen {

// Keeps the file menu's recent-file items in step with the file history: one item per file,
// numbered from 1, or a disabled placeholder while the history is empty.
class RecentFilesMenu {
 public:
  RecentFilesMenu(wxMenu& fileMenu, const wxFileHistory& history) : m_menu(fileMenu), m_history(history) {}

  void Refresh();

  // The item's caption: its number as the mnemonic, then the path.
  static std::string Caption(std::size_t index, const std::string& path);

 private:
  void RemoveItems();

  wxMenu& m_menu;
  const wxFileHistory& m_history;
};

}  // namespace tovalen
