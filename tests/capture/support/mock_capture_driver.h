#pragma once

#include <gmock/gmock.h>

#include "capture/capture_driver.h"

namespace tovalen::testing {

class MockCaptureDriver : public CaptureDriver {
 public:
  MOCK_METHOD(CaptureWindowHandle, CreateCaptureWindow, (const SCaptureWindowPlacement&, ParentWindowHandle),
              (override));
  MOCK_METHOD(bool, DestroyWindow, (CaptureWindowHandle), (override));
  MOCK_METHOD(bool, IsWindow, (CaptureWindowHandle), (const, override));
  MOCK_METHOD(bool, ResizeWindow, (CaptureWindowHandle, int, int), (override));
  MOCK_METHOD(std::optional<SDriverDescription>, GetDriverDescription, (int), (const, override));
  MOCK_METHOD(bool, DriverConnect, (CaptureWindowHandle, int), (override));
  MOCK_METHOD(bool, DriverDisconnect, (CaptureWindowHandle), (override));
  MOCK_METHOD(std::optional<SCapDriverCaps>, DriverGetCaps, (CaptureWindowHandle), (override));
  MOCK_METHOD(std::optional<SCapStatus>, GetStatus, (CaptureWindowHandle), (override));
  MOCK_METHOD(void, DlgVideoFormat, (CaptureWindowHandle), (override));
  MOCK_METHOD(void, DlgVideoSource, (CaptureWindowHandle), (override));
  MOCK_METHOD(void, DlgVideoDisplay, (CaptureWindowHandle), (override));
  MOCK_METHOD(void, DlgVideoCompression, (CaptureWindowHandle), (override));
  MOCK_METHOD(void, SetPreviewRate, (CaptureWindowHandle, int), (override));
  MOCK_METHOD(bool, Preview, (CaptureWindowHandle, bool), (override));
  MOCK_METHOD(bool, Overlay, (CaptureWindowHandle, bool), (override));
  MOCK_METHOD(bool, FileSetCaptureFile, (CaptureWindowHandle, const std::string&), (override));
  MOCK_METHOD(bool, FileAlloc, (CaptureWindowHandle, std::uint64_t), (override));
  MOCK_METHOD(void, SetCallbackOnVideoStream, (CaptureWindowHandle, FrameCallback), (override));
  MOCK_METHOD(bool, CaptureSequence, (CaptureWindowHandle), (override));
  MOCK_METHOD(bool, CaptureStop, (CaptureWindowHandle), (override));
  MOCK_METHOD(bool, FileSaveAs, (CaptureWindowHandle, const std::string&), (override));
  MOCK_METHOD(std::optional<CaptureOutcome>, LastOutcome, (), (const, override));
  MOCK_METHOD(bool, SetAudioFormat, (CaptureWindowHandle, const SWaveFormat&), (override));
  MOCK_METHOD(std::optional<SCaptureParms>, CaptureGetSetup, (CaptureWindowHandle), (override));
  MOCK_METHOD(bool, CaptureSetSetup, (CaptureWindowHandle, const SCaptureParms&), (override));

  // Default behaviour of a working device with one window (handle 7) and one driver at index 0,
  // whose capabilities list every feature. Expectations set afterwards override it.
  void BehaveAsWorkingDevice();

  static constexpr CaptureWindowHandle kWindow{7};

 private:
  bool m_windowAlive = false;
};

}  // namespace tovalen::testing
