#pragma once

#include "capture/capture_user_interface.h"

namespace tovalen {

// What the capture controller asks of the user, answered with the GUI's dialogs.
class WxCaptureUserInterface : public CaptureUserInterface {
 public:
  // The application's standard message box: its name as the caption and an OK button. During a
  // scheduled run it is shown without waiting for the answer.
  void ShowMessage(const std::string& text) override;
  DeviceSelection ChooseCaptureDevice(const std::vector<SCapDriverInfo>& devices) override;
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
};

}  // namespace tovalen
