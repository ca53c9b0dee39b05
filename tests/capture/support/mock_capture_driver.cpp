#include "mock_capture_driver.h"

namespace tovalen::testing {

using ::testing::Return;

void MockCaptureDriver::BehaveAsWorkingDevice() {
  ON_CALL(*this, CreateCaptureWindow).WillByDefault([this](auto&&...) {
    m_windowAlive = true;
    return kWindow;
  });
  ON_CALL(*this, DestroyWindow).WillByDefault([this](CaptureWindowHandle window) {
    const bool destroyed = m_windowAlive && window == kWindow;
    m_windowAlive = m_windowAlive && !destroyed;
    return destroyed;
  });
  ON_CALL(*this, IsWindow).WillByDefault([this](CaptureWindowHandle window) {
    return m_windowAlive && window == kWindow;
  });
  ON_CALL(*this, GetDriverDescription).WillByDefault([](int index) -> std::optional<SDriverDescription> {
    if (index != 0) return std::nullopt;
    return SDriverDescription{"テストパターン", "1.0"};
  });
  ON_CALL(*this, DriverGetCaps).WillByDefault(Return(SCapDriverCaps{0, 1, 1, 1, 1}));
  ON_CALL(*this, GetStatus).WillByDefault(Return(SCapStatus{640, 480}));
  ON_CALL(*this, CaptureGetSetup).WillByDefault(Return(SCaptureParms{}));
  ON_CALL(*this, ResizeWindow).WillByDefault(Return(true));
  ON_CALL(*this, DriverConnect).WillByDefault(Return(true));
  ON_CALL(*this, DriverDisconnect).WillByDefault(Return(true));
  ON_CALL(*this, Preview).WillByDefault(Return(true));
  ON_CALL(*this, Overlay).WillByDefault(Return(true));
  ON_CALL(*this, FileSetCaptureFile).WillByDefault(Return(true));
  ON_CALL(*this, FileAlloc).WillByDefault(Return(true));
  ON_CALL(*this, CaptureSequence).WillByDefault(Return(true));
  ON_CALL(*this, CaptureStop).WillByDefault(Return(true));
  ON_CALL(*this, FileSaveAs).WillByDefault(Return(true));
  ON_CALL(*this, SetAudioFormat).WillByDefault(Return(true));
  ON_CALL(*this, CaptureSetSetup).WillByDefault(Return(true));
}

}  // namespace tovalen::testing
