#pragma once

#include <gmock/gmock.h>

#include "capture/video_cap.h"
#include "fake_capture_user_interface.h"
#include "mock_capture_driver.h"

namespace tovalen {

// Tests only: replaces the process-wide controller between cases.
class CVideoCapTestAccess {
 public:
  // Destroys the current controller, if any, so that the next Install and GetInstance start anew.
  static void Destroy() { CVideoCap::Instance().reset(); }
};

namespace testing {

// Each case gets a fresh process-wide controller on a GoogleMock driver (a working device by
// default) and a fake user interface; the controller owns both.
class VideoCapTest : public ::testing::Test {
 protected:
  VideoCapTest() { Reinstall(); }
  ~VideoCapTest() override { CVideoCapTestAccess::Destroy(); }

  // Replaces the controller with a fresh one on a new mock driver and a new fake interface.
  void Reinstall();
  // Window, driver 0 selected, connected.
  void ConnectDevice();

  ::testing::NiceMock<MockCaptureDriver>* driver = nullptr;  // owned by the controller
  FakeCaptureUserInterface* ui = nullptr;                    // owned by the controller
  CVideoCap* cap = nullptr;
};

}  // namespace testing
}  // namespace tovalen
