#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_driver_records.h"
#include "capture/s_cap_driver_info.h"

namespace tovalen {

// How a modal dialog ended. Other values can arrive from a dialog and are kept as they are.
enum class DialogResult : int {
  kFailed = -1,  // the dialog could not be created
  kOk = 1,
  kCancel = 2,
  kAbort = 3,
};

// The outcome of the capture device selection dialog.
struct DeviceSelection {
  DialogResult result = DialogResult::kCancel;
  int selectedPosition = -1;  // list position of the chosen entry after OK; -1 when none
};

// What the capture file save dialog is asked to show.
struct SaveFileRequest {
  CaptureWindowHandle owner;                                 // the capture window, or none
  std::vector<std::pair<std::string, std::string>> filters;  // description, pattern; the first is selected
  std::string initialName;
  std::string defaultExtension;
  bool promptOverwrite = true;
  bool resizable = true;
};

// What the capture controller asks of the user. The GUI implements it with its dialogs;
// a headless program and tests supply their own.
class CaptureUserInterface {
 public:
  virtual ~CaptureUserInterface() = default;

  // The application's standard message box with an OK button only. Nothing depends on its answer,
  // so it may return before the box is answered.
  virtual void ShowMessage(const std::string& text) = 0;
  // The capture device selection dialog, made without a parent, listing the records in order.
  virtual DeviceSelection ChooseCaptureDevice(const std::vector<SCapDriverInfo>& devices) = 0;
  // The file save dialog; the confirmed path, or nothing on cancel or error.
  virtual std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) = 0;
};

}  // namespace tovalen
