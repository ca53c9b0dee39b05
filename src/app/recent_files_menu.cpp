#include "app/recent_files_menu.h"

#include <wx/filehistory.h>
#include <wx/menu.h>

#include <algorithm>

#include "app/command_ids.h"
#include "app/command_texts.h"
#include "app/main_menu.h"
#include "dialogs/wx_text.h"

namespace tovalen {

void RecentFilesMenu::RemoveItems() {
  for (int i = 0; i < cmd::kRecentFileCount; ++i) {
    if (wxMenuItem* item = m_menu.FindItem(cmd::ID_FILE_MRU_FILE1 + i)) m_menu.Destroy(item);
  }
}

void RecentFilesMenu::Refresh() {
  RemoveItems();
  const std::size_t count = std::min<std::size_t>(m_history.GetCount(), cmd::kRecentFileCount);
  if (count == 0) {
    m_menu.Insert(kRecentFilesPosition, cmd::ID_FILE_MRU_FILE1, ToWx("最近使ったファイル"))->Enable(false);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const int id = cmd::ID_FILE_MRU_FILE1 + static_cast<int>(i);
    m_menu.Insert(kRecentFilesPosition + i, id, ToWx(Caption(i, ToUtf8(m_history.GetHistoryFile(i)))),
                  ToWx(PromptOf(id).prompt));
  }
}

std::string RecentFilesMenu::Caption(std::size_t index, const std::string& path) {
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about "&" + std::string.
  std::string caption = "&";
  caption += std::to_string(index + 1);
  caption += ' ';
  for (const char c : path) caption += c == '&' ? std::string("&&") : std::string(1, c);
  return caption;
}

}  // namespace tovalen
