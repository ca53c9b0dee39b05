#pragma once

#include <gmock/gmock.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "avi_probe.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/frame_rate_and_wave_format.h"
#include "fake_devices.h"
#include "platform/plain_main_loop.h"
#include "support/temp_dir.h"

namespace tovalen::testing {

class HttpStreamServer;

// The audio formats the audio settings dialog offers.
SWaveFormat WaveFormat(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels);

// A driver whose settings file lives in a temporary folder, on the test pattern unless the test
// gives other devices. Connect() makes a window on device 0 at a small frame size, with a capture
// set-up of 30 frames per second and 44.1 kHz 16-bit stereo sound.
class DriverTest : public ::testing::Test {
 protected:
  DriverTest();

  // Makes the driver; call before Connect to change its services or devices.
  void MakeDriver(std::vector<std::shared_ptr<ffmpeg::CaptureDevice>> devices = {});
  void Connect(DeviceSettings settings = SmallPicture());
  // Runs a sequence into `target` that the frame callback stops once it has seen `frames` frames.
  bool RecordFrames(int frames);
  // Runs a sequence into `target` from `server`'s stream: the server is killed once `killAt`
  // frames have come and started again `gap` later; the frame callback stops at `stopAt` frames,
  // and not before `stopAt - killAt` frames have come since the restart.
  bool RecordAcrossAServerRestart(HttpStreamServer& server, std::size_t killAt, std::size_t stopAt,
                                  std::chrono::milliseconds gap);
  bool Save() { return driver->FileSaveAs(window, target); }
  CaptureOutcome LastOutcome() const { return driver->LastOutcome().value(); }
  // The frame slots the last capture's file has at `fps`: one for each frame written, and none
  // past the last frame the callback saw. A busy machine may capture more frames than asked
  // before the stop is seen, and drop some at the end.
  ::testing::Matcher<std::int64_t> SlotsOfTheCapture(double fps) const;

  static DeviceSettings SmallPicture();

  TempDir dir;
  std::string target;
  ffmpeg::FfmpegDriverServices services;
  std::shared_ptr<PlainMainLoop> loop;
  std::unique_ptr<ffmpeg::FfmpegCaptureDriver> driver;
  CaptureWindowHandle window;
  SCaptureParms parms;
  SWaveFormat wave;
  std::vector<SVideoHeader> headers;  // what the frame callback received
};

// Frames a recording of `seconds` at `fps` has, give or take the one at either end.
::testing::Matcher<std::int64_t> AboutFrames(double seconds, double fps);

}  // namespace tovalen::testing
