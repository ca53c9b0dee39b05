#pragma once

#include <cstddef>

class wxMenu;
class wxMenuBar;

namespace tovalen {

struct MainMenu {
  wxMenuBar* bar = nullptr;  // owned by the frame once set
  wxMenu* file = nullptr;    // owned by the bar
};

// Where the recent files sit in the file menu: after the save commands and their separator.
inline constexpr std::size_t kRecentFilesPosition = 5;

// The main window's menu bar, every item with its id, caption and status-bar prompt.
MainMenu CreateMainMenu();

}  // namespace tovalen
