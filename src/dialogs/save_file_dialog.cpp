#include "dialogs/save_file_dialog.h"

#include <wx/filedlg.h>

#include <filesystem>

#include "dialogs/message_box.h"
#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

// "*.*" would hide the files without a dot on this platform; "all files" means all of them.
std::string WildcardFor(const std::vector<std::pair<std::string, std::string>>& filters) {
  std::string wildcard;
  for (const auto& [description, pattern] : filters) {
    if (!wildcard.empty()) wildcard += "|";
    wildcard += description + "|" + (pattern == "*.*" ? "*" : pattern);
  }
  return wildcard;
}

bool ConfirmOverwrite(wxWindow* owner, const std::string& path) {
  const std::string text = path + " は既に存在します。\n上書きしますか?";
  return ShowMessageBox({owner, text, "名前を付けて保存", MessageIcon::kExclamation, MessageButtons::kYesNo}) ==
         MessageAnswer::kYes;
}

std::optional<std::string> AskWithWxDialog(const SaveFileQuestion& question) {
  const std::filesystem::path initial(question.initialPath);
  wxFileDialog dialog(question.owner, ToWx("名前を付けて保存"), ToWx(initial.parent_path().string()),
                      ToWx(initial.filename().string()), ToWx(WildcardFor(question.filters)),
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);  // GTK's file dialog can always be resized
  dialog.SetFilterIndex(0);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  const std::string chosen = ToUtf8(dialog.GetPath());
  const std::string path = WithDefaultExtension(chosen, question.defaultExtension);
  // The dialog asked about the name as typed; the added extension may name another file.
  std::error_code error;
  if (path != chosen && std::filesystem::exists(path, error) && !ConfirmOverwrite(question.owner, path)) {
    return std::nullopt;
  }
  return path;
}

SaveFilePresenter& Presenter() {
  static SaveFilePresenter presenter;
  return presenter;
}

}  // namespace

std::optional<std::string> AskSaveFile(const SaveFileQuestion& question) {
  const SaveFilePresenter& presenter = Presenter();
  return presenter ? presenter(question) : AskWithWxDialog(question);
}

SaveFilePresenter SetSaveFilePresenter(SaveFilePresenter presenter) {
  SaveFilePresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}

std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
  if (extension.empty() || std::filesystem::path(path).has_extension()) return path;
  return path + "." + extension;
}

}  // namespace tovalen
