#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class wxWindow;

namespace tovalen {

// A save dialog that asks before an existing file is overwritten.
struct SaveFileQuestion {
  wxWindow* owner = nullptr;                                 // not owned; may be none
  std::vector<std::pair<std::string, std::string>> filters;  // description, pattern; the first is chosen
  std::string initialPath;                                   // folder and name the dialog starts from
  std::string defaultExtension;                              // added to a name typed without one
};

// The confirmed path, or nothing when the user cancelled. Every save dialog of the GUI goes
// through here, so tests can answer it.
std::optional<std::string> AskSaveFile(const SaveFileQuestion& question);

using SaveFilePresenter = std::function<std::optional<std::string>(const SaveFileQuestion&)>;

// Replaces the presenter and returns the previous one; an empty one restores the wx dialog.
SaveFilePresenter SetSaveFilePresenter(SaveFilePresenter presenter);

class ScopedSaveFilePresenter {
 public:
  explicit ScopedSaveFilePresenter(SaveFilePresenter presenter)
      : m_previous(SetSaveFilePresenter(std::move(presenter))) {}
  ~ScopedSaveFilePresenter() { SetSaveFilePresenter(std::move(m_previous)); }
  ScopedSaveFilePresenter(const ScopedSaveFilePresenter&) = delete;
  ScopedSaveFilePresenter& operator=(const ScopedSaveFilePresenter&) = delete;

 private:
  SaveFilePresenter m_previous;
};

// The path with ".ext" added when its file name has no extension.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

}  // namespace tovalen
