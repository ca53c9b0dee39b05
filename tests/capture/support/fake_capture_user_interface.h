#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/capture_user_interface.h"

namespace tovalen::testing {

// Answers with what the test chose and records what it was asked.
class FakeCaptureUserInterface : public CaptureUserInterface {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  DeviceSelection ChooseCaptureDevice(const std::vector<SCapDriverInfo>& devices) override {
    listedDevices = devices;
    ++deviceDialogs;
    return deviceSelection;
  }
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override {
    lastSaveRequest = request;
    return saveFileName;
  }

  DeviceSelection deviceSelection{DialogResult::kOk, 0};
  std::optional<std::string> saveFileName;

  std::vector<std::string> messages;
  std::vector<SCapDriverInfo> listedDevices;
  int deviceDialogs = 0;
  std::optional<SaveFileRequest> lastSaveRequest;
};

}  // namespace tovalen::testing
