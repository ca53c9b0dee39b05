#pragma once

#include <string>
#include <vector>

#include "capture/capture_user_interface.h"

namespace tovalen::cli {

// What the capture controller asks of the user, without one to ask: messages are kept for the
// command's error line, and dialogs are cancelled.
class CliCaptureUserInterface : public CaptureUserInterface {
 public:
  void ShowMessage(const std::string& text) override { m_messages.push_back(text); }
  DeviceSelection ChooseCaptureDevice(const std::vector<SCapDriverInfo>&) override { return {}; }
  std::optional<std::string> AskSaveFileName(const SaveFileRequest&) override { return std::nullopt; }

  // The messages shown since the last call, joined by "; ".
  std::string TakeMessages();

 private:
  std::vector<std::string> m_messages;
};

}  // namespace tovalen::cli
