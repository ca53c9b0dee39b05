#include <gmock/gmock.h>

#include "capture/ffmpeg/stream_device.h"
#include "capture/video_cap.h"
#include "driver_fixture.h"
#include "fake_capture_listener.h"
#include "fake_capture_user_interface.h"
#include "support/stream_servers.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;

// The controller on the FFmpeg driver, as the program runs a reservation: wake-up, capture file,
// capture bounded by the runner's recording time, save.
class ControllerOnFfmpeg : public DriverTest {
 protected:
  ControllerOnFfmpeg() {
    MakeDriver();
    EXPECT_TRUE(services.settingsStore.Save("test-pattern", SmallPicture()));
  }
  ~ControllerOnFfmpeg() override { CVideoCapTestAccess::Destroy(); }

  CVideoCap& Install(std::vector<std::shared_ptr<CaptureDevice>> devices = {}) {
    MakeDriver(std::move(devices));
    FfmpegCaptureDriver* raw = driver.get();
    CVideoCapTestAccess::Destroy();
    CVideoCap::Install({std::move(driver), std::make_unique<FakeCaptureUserInterface>()});
    driverInUse = raw;
    CVideoCap& cap = CVideoCap::GetInstance();
    SCaptureSettings settings;  // 30 frames a second, 44.1 kHz 16-bit stereo
    settings.iCapDriverId = 0;
    cap.SetCaptureSettings(settings);
    return cap;
  }

  FfmpegCaptureDriver* driverInUse = nullptr;
  FakeCaptureListener runner;
};

TEST_F(ControllerOnFfmpeg, TheRecordingTimeBoundsTheCapture) {
  CVideoCap& cap = Install();
  runner.recordSeconds = 1;
  runner.Activate();
  ASSERT_TRUE(cap.WakeUp(ParentWindowHandle{}));
  ASSERT_TRUE(cap.SetCaptureFileName(target));
  ASSERT_TRUE(cap.Capture());
  EXPECT_EQ(runner.finished, 1);
  // Stopped at the first frame 2000 ms or more after the first (61 frames at 30 per second), with
  // those that came in while the stop was on its way: a few, more on a busy machine.
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  EXPECT_THAT(file.video->frameSlots, ::testing::AllOf(::testing::Ge(59), ::testing::Le(91)));
  EXPECT_GE(runner.frames.back(), 2000);
  EXPECT_LT(runner.frames.back(), 3000);
  ASSERT_TRUE(file.audio);
  EXPECT_EQ(file.audio->sampleRate, 44100);
  EXPECT_NEAR(SoundPastPicture(file), 0, 0.002);
}

TEST_F(ControllerOnFfmpeg, AFailedCaptureIsNotSavedAndLeavesTheTarget) {
  CVideoCap& cap = Install(
      {std::make_shared<FaultyDevice>(FaultPlan{.videoFault = StreamFault::kOutOfMemory, .videoFaultAfter = 10})});
  WriteFileBytes(target, "an earlier recording");
  runner.recordSeconds = 5;
  runner.Activate();
  ASSERT_TRUE(cap.WakeUp(ParentWindowHandle{}));
  ASSERT_TRUE(cap.SetCaptureFileName(target));
  EXPECT_FALSE(cap.Capture());
  EXPECT_EQ(runner.finished, 0);
  EXPECT_FALSE(cap.IsCapturing());
  EXPECT_EQ(ReadFileBytes(target), "an earlier recording");
  EXPECT_EQ(ProbeFile(driverInUse->LastOutcome()->recordingPath).video->decodedFrames, 10);
}

TEST_F(ControllerOnFfmpeg, ADeviceThatStaysGoneEndsTheReservationSavedAtItsTarget) {
  // No frame comes to stop the capture; the reservation's end still does, with the time limit
  // the controller sets for the sequence (and takes back after it).
  services.timeouts.giveUp = std::chrono::hours(1);
  CVideoCap& cap = Install({std::make_shared<FaultyDevice>(
      FaultPlan{.videoFault = StreamFault::kError, .videoFaultAfter = 10, .videoReopening = Reopening::kFails})});
  runner.recordSeconds = 1;
  runner.Activate();
  ASSERT_TRUE(cap.WakeUp(ParentWindowHandle{}));
  ASSERT_TRUE(cap.SetCaptureFileName(target));
  const auto setUp = driverInUse->CaptureGetSetup(cap.GetCaptureWindow());
  ASSERT_TRUE(cap.Capture());
  EXPECT_EQ(runner.finished, 1);
  EXPECT_EQ(cap.LastCaptureOutcome()->reason, StopReason::kDeviceLost);
  EXPECT_LE(cap.LastCaptureOutcome()->elapsedMs, 3000u);
  EXPECT_EQ(driverInUse->CaptureGetSetup(cap.GetCaptureWindow()), setUp);
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  EXPECT_EQ(file.video->decodedFrames, 10);
  EXPECT_NEAR(SoundPastPicture(file), 0, 0.002);
}

// Stops the stream's server once the tenth frame is in.
class ServerKillingListener : public FakeCaptureListener {
 public:
  explicit ServerKillingListener(HttpStreamServer& server) : m_server(server) {}
  void UpdateFrameCount(std::int32_t elapsedMs) override {
    FakeCaptureListener::UpdateFrameCount(elapsedMs);
    if (frames.size() == 10) m_server.Stop();
  }

 private:
  HttpStreamServer& m_server;
};

TEST_F(ControllerOnFfmpeg, AStreamThatNeverComesBackFailsTheReservationYetItsRecordingIsAtTheTarget) {
  using namespace std::chrono_literals;
  HttpStreamServer server(HttpStreamServer::Format::kMpegTs);
  // Sending already, so that the reservation's short time is not spent waiting for the encoder.
  ASSERT_TRUE(StreamSession::Open(server.Url(), StreamPackets::kDecoded, {}));
  CVideoCap& cap = Install({std::make_shared<StreamDevice>("camera", server.Url(),
                                                           StreamTimes{.firstRetry = 100ms, .longestRetry = 400ms})});
  ServerKillingListener listener(server);
  listener.recordSeconds = 1;
  listener.Activate();
  ASSERT_TRUE(cap.WakeUp(ParentWindowHandle{}));
  ASSERT_TRUE(cap.SetCaptureFileName(target));
  EXPECT_FALSE(cap.Capture());
  EXPECT_EQ(listener.finished, 0);
  const auto outcome = cap.LastCaptureOutcome();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->reason, StopReason::kDeviceLost);
  EXPECT_TRUE(outcome->Failed());
  EXPECT_THAT(outcome->detail, ::testing::HasSubstr("gone at the end"));
  EXPECT_EQ(outcome->recordingPath, target);
  EXPECT_LE(outcome->elapsedMs, 3000u);
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  EXPECT_GE(file.video->decodedFrames, 10);
  EXPECT_EQ(file.video->decodedFrames, outcome->framesWritten);
  EXPECT_NEAR(SoundPastPicture(file), 0, 0.002);
}

}  // namespace
}  // namespace tovalen::testing
