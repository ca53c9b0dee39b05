#include "driver_fixture.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <thread>

#include "support/stream_servers.h"

namespace tovalen::testing {

using namespace tovalen::ffmpeg;

SWaveFormat WaveFormat(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
  SWaveFormat format;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nChannels = channels;
  format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * rate;
  return format;
}

DeviceSettings DriverTest::SmallPicture() {
  DeviceSettings settings;
  settings.size = {320, 240};
  return settings;
}

DriverTest::DriverTest() : target(dir.File("capture.avi")), loop(std::make_shared<PlainMainLoop>()) {
  services.mainLoop = loop;
  services.settingsStore = DriverSettingsStore(dir.Path() / "config" / "capture-devices.conf");
  parms.dwRequestMicroSecPerFrame = 33333;
  wave = WaveFormat(44100, 16, 2);
}

void DriverTest::MakeDriver(std::vector<std::shared_ptr<CaptureDevice>> devices) {
  if (devices.empty()) devices.push_back(std::make_shared<TestPatternDevice>());
  services.catalog = std::make_shared<FixedCatalog>(std::move(devices));
  driver = std::make_unique<FfmpegCaptureDriver>(services);
}

void DriverTest::Connect(DeviceSettings settings) {
  if (!driver) MakeDriver();
  const auto devices = driver->Devices();
  ASSERT_TRUE(services.settingsStore.Save(devices.at(0)->SettingsKey(), settings));
  window = driver->CreateCaptureWindow(SCaptureWindowPlacement{}, ParentWindowHandle{});
  ASSERT_TRUE(window);
  ASSERT_TRUE(driver->DriverConnect(window, 0));
  ASSERT_TRUE(driver->CaptureSetSetup(window, parms));
  ASSERT_TRUE(driver->SetAudioFormat(window, wave));
}

bool DriverTest::RecordFrames(int frames) {
  headers.clear();
  driver->SetCallbackOnVideoStream(window, [this, frames](CaptureWindowHandle handle, const SVideoHeader& header) {
    headers.push_back(header);
    if (static_cast<int>(headers.size()) == frames) driver->CaptureStop(handle);
    return true;
  });
  if (!driver->FileSetCaptureFile(window, target)) return false;
  if (!driver->FileAlloc(window, 5'242'880)) return false;
  return driver->CaptureSequence(window);
}

bool DriverTest::RecordAcrossAServerRestart(HttpStreamServer& server, std::size_t killAt, std::size_t stopAt,
                                            std::chrono::milliseconds gap) {
  using namespace std::chrono_literals;
  std::atomic<bool> killed{false};
  std::atomic<bool> restarted{false};
  std::jthread restarter([&](std::stop_token stop) {
    while (!killed && !stop.stop_requested()) std::this_thread::sleep_for(10ms);
    if (stop.stop_requested()) return;
    std::this_thread::sleep_for(gap);
    server.Start();
    restarted = true;
    // The server dies with the thread that started it: it is kept until the sequence is over.
    while (!stop.stop_requested()) std::this_thread::sleep_for(10ms);
  });
  headers.clear();
  // On a busy machine the callbacks come late, after frames that were captured before the kill:
  // the frames after it are counted from the restart.
  std::optional<std::size_t> seenAtRestart;
  driver->SetCallbackOnVideoStream(window, [&](CaptureWindowHandle handle, const SVideoHeader& header) {
    headers.push_back(header);
    if (headers.size() == killAt) {
      server.Stop();
      killed = true;
    }
    if (restarted && !seenAtRestart) seenAtRestart = headers.size();
    if (seenAtRestart && headers.size() >= std::max(stopAt, *seenAtRestart + stopAt - killAt))
      driver->CaptureStop(handle);
    return true;
  });
  const bool recorded = driver->FileSetCaptureFile(window, target) && driver->CaptureSequence(window);
  driver->SetCallbackOnVideoStream(window, {});  // it refers to this call's locals
  return recorded;
}

::testing::Matcher<std::int64_t> DriverTest::SlotsOfTheCapture(double fps) const {
  const auto written = static_cast<std::int64_t>(LastOutcome().framesWritten);
  const std::int64_t lastSlot = headers.empty() ? 0 : std::llround(headers.back().dwTimeCaptured * fps / 1000);
  // The callback's times are whole milliseconds since the first frame.
  return ::testing::AllOf(::testing::Ge(written), ::testing::Le(lastSlot + 2));
}

::testing::Matcher<std::int64_t> AboutFrames(double seconds, double fps) {
  const auto expected = static_cast<std::int64_t>(std::llround(seconds * fps));
  return ::testing::AllOf(::testing::Ge(expected - 2), ::testing::Le(expected + 2));
}

}  // namespace tovalen::testing
