#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "capture/ffmpeg/avi_writer.h"
#include "driver_fixture.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr const char* kEarlierFile = "an earlier recording";

// A device that stalls or fails is opened again and the capture goes on. Every other fault
// ends the sequence as a failure, keeps what was recorded in a file FFmpeg reads from start to
// end, and leaves the file at the target as it was.
class Faults : public DriverTest {
 protected:
  Faults() {
    services.timeouts.stall = std::chrono::milliseconds(400);
    services.timeouts.firstFrame = std::chrono::milliseconds(400);
    services.timeouts.giveUp = std::chrono::milliseconds(1500);
    WriteFileBytes(target, kEarlierFile);
  }

  std::shared_ptr<FaultyDevice> ConnectFaulty(FaultPlan plan) {
    auto device = std::make_shared<FaultyDevice>(plan);
    MakeDriver({device});
    Connect();
    return device;
  }

  // After a capture that went on through the device's trouble: saved at the target like any
  // recording, every frame written decodes, and the sound lasts exactly as long as the picture.
  ProbedFile ExpectSavedThroughTheTrouble(StopReason trouble) {
    const CaptureOutcome summary = LastOutcome();
    EXPECT_EQ(summary.reason, trouble);
    EXPECT_TRUE(summary.interrupted);
    EXPECT_FALSE(LastOutcome().Failed());
    EXPECT_TRUE(Save());
    const ProbedFile file = ProbeFile(target);
    EXPECT_TRUE(file.video && file.audio);
    if (!file.video || !file.audio) return file;
    EXPECT_EQ(file.video->decodedFrames, summary.framesWritten);
    EXPECT_EQ(file.video->decodeErrors, 0);
    EXPECT_NEAR(SoundPastPicture(file), 0, 0.002);
    return file;
  }

  // The failed capture's reason, after checking what it left behind.
  StopReason ExpectFailureKeepingTheRecording(int frames = 1'000'000) {
    EXPECT_FALSE(RecordFrames(frames));
    return ExpectTargetKeptAndRecordingReadable(FrameCheck::kEveryWrittenFrame);
  }

  enum class FrameCheck { kEveryWrittenFrame, kSomeFrames };

  // After a failed sequence: the target is untouched and what was recorded decodes cleanly.
  // Writes that failed part-way may lose frames the writer counted, hence kSomeFrames.
  StopReason ExpectTargetKeptAndRecordingReadable(FrameCheck frames) {
    EXPECT_EQ(ReadFileBytes(target), kEarlierFile);
    const auto outcome = driver->LastOutcome();
    EXPECT_TRUE(outcome && outcome->Failed());
    if (!outcome) return StopReason{};
    const ProbedFile kept = ProbeFile(outcome->recordingPath);
    EXPECT_EQ(kept.error, "");
    EXPECT_TRUE(kept.video && kept.video->decodedFrames > 0 && kept.video->decodeErrors == 0);
    if (frames == FrameCheck::kEveryWrittenFrame) {
      EXPECT_EQ(kept.video ? kept.video->decodedFrames : 0, outcome->framesWritten);
      if (kept.audio) {
        EXPECT_NEAR(SoundPastPicture(kept), 0, 0.002);
      }
    }
    return outcome->reason;
  }

  // The failed capture's reason when nothing could be recorded: no file is left but the target.
  StopReason ExpectFailureRecordingNothing() {
    EXPECT_FALSE(RecordFrames(1'000'000));
    EXPECT_EQ(ReadFileBytes(target), kEarlierFile);
    EXPECT_THAT(FilesContaining(dir.Path().string(), ".avi"), SizeIs(1));
    EXPECT_EQ(LastOutcome().recordingPath, "");
    return LastOutcome().reason;
  }
};

TEST_F(Faults, ADeviceThatStallsOrFailsIsOpenedAgainAndTheCaptureGoesOn) {
  struct Case {
    FaultPlan plan;
    StopReason trouble;
    std::int64_t gapSlots;  // at least: the stall period and the wait before the new opening
  };
  const Case cases[] = {
      {{.videoFault = StreamFault::kPause,
        .videoFaultAfter = 15,
        .pauseFrames = 60,
        .videoReopening = Reopening::kWorks},
       StopReason::kDeviceStalled,
       15},
      {{.videoFault = StreamFault::kError, .videoFaultAfter = 15, .videoReopening = Reopening::kWorks},
       StopReason::kDeviceLost,
       5},
      {{.videoFault = StreamFault::kEnd, .videoFaultAfter = 15, .videoReopening = Reopening::kWorks},
       StopReason::kDeviceLost,
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.trouble));
    driver.reset();
    const auto device = ConnectFaulty(c.plan);
    ASSERT_TRUE(RecordFrames(45));
    EXPECT_EQ(device->videoOpenings, 2);
    // Frames keep their capture times: the time without frames stays a gap in the file.
    const ProbedFile file = ExpectSavedThroughTheTrouble(c.trouble);
    if (file.video) {
      EXPECT_GE(file.video->frameSlots - file.video->chunks, c.gapSlots);
    }
  }
}

TEST_F(Faults, APauseShorterThanAStallIsWaitedOut) {
  services.timeouts.stall = std::chrono::milliseconds(1500);
  // Opened again, this device would be gone: the capture could not record on.
  const auto device = ConnectFaulty({.videoFault = StreamFault::kPause,
                                     .videoFaultAfter = 15,
                                     .pauseFrames = 6,
                                     .videoReopening = Reopening::kFails});
  ASSERT_TRUE(RecordFrames(45));
  EXPECT_EQ(device->videoOpenings, 1);
  EXPECT_EQ(LastOutcome().reason, StopReason::kStopRequested);
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  EXPECT_GE(file.video->frameSlots - file.video->chunks, 5);
  EXPECT_NEAR(SoundPastPicture(file), 0, 0.002);
}

TEST_F(Faults, ADeviceThatStaysGoneEndsTheCaptureWithWhatItRecorded) {
  // At the set-up's time limit (a reservation's end) when there is one, else after the give-up time.
  for (const bool limited : {true, false}) {
    SCOPED_TRACE(limited ? "time limit" : "give-up time");
    services.timeouts.giveUp = std::chrono::milliseconds(limited ? 600'000 : 1500);
    parms.fLimitEnabled = limited;
    parms.wTimeLimit = 2;
    driver.reset();
    const auto device =
        ConnectFaulty({.videoFault = StreamFault::kError, .videoFaultAfter = 15, .videoReopening = Reopening::kFails});
    ASSERT_TRUE(RecordFrames(1'000'000));
    EXPECT_GE(device->videoOpenings, 3);  // tried again, more than once
    EXPECT_EQ(LastOutcome().framesWritten, 15u);
    EXPECT_THAT(LastOutcome().detail, HasSubstr("gone at the end"));
    EXPECT_LT(LastOutcome().elapsedMs, 10'000u);
    ExpectSavedThroughTheTrouble(StopReason::kDeviceLost);
  }
}

TEST_F(Faults, MemoryRunningOutWhileReadingEndsTheCapture) {
  // The capture fails, not the process.
  ConnectFaulty({.videoFault = StreamFault::kOutOfMemory, .videoFaultAfter = 12});
  EXPECT_EQ(ExpectFailureKeepingTheRecording(), StopReason::kDeviceLost);
  EXPECT_EQ(LastOutcome().detail, "out of memory");
}

TEST_F(Faults, AnExceptionFromTheFrameCallbackReachesTheCallerOnceTheRecordingIsKept) {
  Connect();
  driver->SetCallbackOnVideoStream(
      window, [](CaptureWindowHandle, const SVideoHeader&) -> bool { throw std::runtime_error("from the callback"); });
  ASSERT_TRUE(driver->FileSetCaptureFile(window, target));
  ASSERT_TRUE(driver->FileAlloc(window, 5'242'880));
  EXPECT_THROW(driver->CaptureSequence(window), std::runtime_error);
  // No sequence is left behind for the window to reach.
  EXPECT_FALSE(driver->GetStatus(window)->fCapturingNow);
  EXPECT_TRUE(driver->CaptureStop(window));
  EXPECT_EQ(ReadFileBytes(target), kEarlierFile);
  const ProbedFile kept = ProbeFile(LastOutcome().recordingPath);
  EXPECT_EQ(kept.error, "");
  EXPECT_TRUE(kept.video && kept.video->decodedFrames > 0 && kept.video->decodeErrors == 0);
  EXPECT_TRUE(RecordFrames(5));
}

TEST_F(Faults, ADeviceThatCannotBeOpenedRecordsNothing) {
  ConnectFaulty({.videoOpenError = AVERROR(ENOENT)});
  EXPECT_EQ(ExpectFailureRecordingNothing(), StopReason::kDeviceOpenFailed);
  driver.reset();
  ConnectFaulty({.videoOpenError = AVERROR(EBUSY)});
  EXPECT_EQ(ExpectFailureRecordingNothing(), StopReason::kDeviceBusy);
}

TEST_F(Faults, ADeviceThatNeverDeliversRecordsNothing) {
  ConnectFaulty({.videoFault = StreamFault::kStall, .videoFaultAfter = 0});
  EXPECT_EQ(ExpectFailureRecordingNothing(), StopReason::kDeviceStalled);
}

TEST_F(Faults, ASoundInputThatFailsIsOpenedAgainOrLeavesSilenceToTheEnd) {
  for (const Reopening reopening : {Reopening::kWorks, Reopening::kFails}) {
    driver.reset();
    const auto device =
        ConnectFaulty({.audioFault = StreamFault::kError, .audioFaultAfter = 20, .audioReopening = reopening});
    ASSERT_TRUE(RecordFrames(45));
    EXPECT_GE(device->audioOpenings, 2);
    ExpectSavedThroughTheTrouble(StopReason::kAudioFailed);
  }
}

TEST_F(Faults, AnAudioInputThatCannotBeOpenedRecordsNothing) {
  ConnectFaulty({.audioOpenError = AVERROR(EIO)});
  EXPECT_EQ(ExpectFailureRecordingNothing(), StopReason::kAudioFailed);
}

TEST_F(Faults, WithoutAnAudioInputTheVideoIsRecordedAlone) {
  ConnectFaulty({.noAudioInput = true});
  ASSERT_TRUE(RecordFrames(10));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  EXPECT_TRUE(file.video);
  EXPECT_FALSE(file.audio);
}

TEST_F(Faults, AFullDiskStopsWhileTheIndexStillFits) {
  // The disk fills up once the capture has run for a moment.
  auto probes = std::make_shared<std::atomic<int>>(0);
  services.spaceProbe = [probes](int) -> std::optional<SpaceReport> {
    return SpaceReport{++*probes > 2 ? 512u * 1024 : 1u << 30, std::nullopt};
  };
  MakeDriver();
  Connect();
  EXPECT_EQ(ExpectFailureKeepingTheRecording(), StopReason::kDiskFull);
}

TEST_F(Faults, FramesTheDiskCannotTakeInTimeAreDroppedAndCountedInTheirPlaces) {
  // The writer's second look at the disk takes a second and a half, as a stalled disk would.
  auto probes = std::make_shared<std::atomic<int>>(0);
  services.spaceProbe = [probes](int) -> std::optional<SpaceReport> {
    if (++*probes == 2) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return SpaceReport{1u << 30, std::nullopt};
  };
  MakeDriver();
  Connect();
  ASSERT_TRUE(RecordFrames(100));
  ASSERT_TRUE(Save());
  const CaptureOutcome summary = LastOutcome();
  EXPECT_GT(summary.droppedAtWrite, 0u);
  // The readers never wait for the writer: what the stall costs is dropped, at the writer and
  // (when the encoder waits behind the sound for room) at capture.
  // A frame or two more may come in before the stop is seen.
  EXPECT_GE(summary.framesCaptured, 100u);
  EXPECT_EQ(summary.framesWritten + summary.FramesDropped(), summary.framesCaptured);
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  // The frames that are there keep their times: the file is as long as the capture.
  EXPECT_THAT(file.video->frameSlots, AboutFrames(summary.framesCaptured / 30.0, 30));
  EXPECT_EQ(file.video->decodedFrames, summary.framesWritten);
  EXPECT_EQ(file.video->decodeErrors, 0);
  ASSERT_TRUE(file.audio);
  EXPECT_NEAR(static_cast<double>(file.audio->samples), file.video->frameSlots / 30.0 * 44100, 44100 * 0.07);
}

TEST_F(Faults, FramesWhoseTimesRunAheadOfTheClockAreNeitherLostNorCountedTwice) {
  // A late first frame sets the capture clock: the frames after it are stamped ahead of the
  // moment they come in, also the one whose callback asks for the stop.
  ConnectFaulty({.firstFrameLateMs = 300});
  ASSERT_TRUE(RecordFrames(20));
  const CaptureOutcome summary = LastOutcome();
  EXPECT_GE(summary.framesCaptured, 20u);
  EXPECT_EQ(summary.framesCaptured, headers.size());
  EXPECT_EQ(summary.framesWritten + summary.FramesDropped(), summary.framesCaptured);
  const std::string path = LastOutcome().recordingPath;
  EXPECT_EQ(ProbeFile(path).video->decodedFrames, summary.framesWritten);
  // The frames held back come in a burst that both encoder workers take from, finishing out of
  // order; each still shows the pattern's own frame at its place (a neighbour's is below 30 dB).
  VideoRequest request;
  request.settings = SmallPicture();
  request.frameRate = {1'000'000, static_cast<int>(parms.dwRequestMicroSecPerFrame)};
  OpenedSource source = TestPatternDevice().OpenVideo(request);
  ASSERT_TRUE(source);
  EXPECT_GT(LowestPsnr(path, **source, static_cast<int>(summary.framesWritten)), 33.0);
}

TEST_F(Faults, NoRoomAtAllRecordsNothing) {
  services.spaceProbe = [](int) -> std::optional<SpaceReport> { return SpaceReport{4096, std::nullopt}; };
  MakeDriver();
  Connect();
  EXPECT_EQ(ExpectFailureRecordingNothing(), StopReason::kDiskFull);
}

// Sets the process's file-size limit for its lifetime, with SIGXFSZ ignored so that a write
// beyond it fails instead of ending the process.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_previous);
    rlimit limit = m_previous;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~ScopedFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_previous);
    std::signal(SIGXFSZ, m_previousHandler);
  }

 private:
  rlimit m_previous{};
  void (*m_previousHandler)(int) = nullptr;
};

TEST_F(Faults, TheFileSizeLimitStopsWhileTheIndexStillFits) {
  Connect();
  std::optional<ScopedFileSizeLimit> limit;
  // Set once the space is reserved, as a limit that bites during the capture.
  driver->SetCallbackOnVideoStream(window, [&](CaptureWindowHandle, const SVideoHeader&) {
    if (!limit) limit.emplace(1'600'000);
    return true;
  });
  ASSERT_TRUE(driver->FileSetCaptureFile(window, target));
  ASSERT_TRUE(driver->FileAlloc(window, 5'242'880));
  EXPECT_FALSE(driver->CaptureSequence(window));
  limit.reset();
  EXPECT_EQ(ExpectTargetKeptAndRecordingReadable(FrameCheck::kEveryWrittenFrame), StopReason::kFileSizeLimit);
}

TEST_F(Faults, WritesBeyondTheFileSizeLimitFailCleanly) {
  // Too tight for the index: the writes themselves fail, and what reached the file is readable.
  services.spaceProbe = [](int) -> std::optional<SpaceReport> { return SpaceReport{1u << 30, std::nullopt}; };
  MakeDriver();
  Connect();
  std::optional<ScopedFileSizeLimit> limit;
  driver->SetCallbackOnVideoStream(window, [&](CaptureWindowHandle, const SVideoHeader&) {
    if (!limit) limit.emplace(700'000);
    return true;
  });
  ASSERT_TRUE(driver->FileSetCaptureFile(window, target));
  ASSERT_TRUE(driver->FileAlloc(window, 5'242'880));
  EXPECT_FALSE(driver->CaptureSequence(window));
  limit.reset();
  EXPECT_EQ(ExpectTargetKeptAndRecordingReadable(FrameCheck::kSomeFrames), StopReason::kFileSizeLimit);
}

TEST(AviWriter, AFullDiskIsReportedAsSuch) {
  const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = AV_CODEC_ID_MJPEG;
  parameters->width = 32;
  parameters->height = 32;
  auto writer = AviWriter::Open(fd, StreamSetup{parameters, {1, 25}}, nullptr);
  // The header sits in the I/O buffer until the trailer flushes it.
  const Result<> finished = writer ? (*writer)->Finish() : writer.Error();
  ASSERT_FALSE(finished);
  EXPECT_EQ(finished.Error().reason, StopReason::kDiskFull);
  EXPECT_THAT(finished.Error().detail, HasSubstr(std::strerror(ENOSPC)));
  avcodec_parameters_free(&parameters);
  ::close(fd);
}

TEST_F(Faults, AFolderThatDoesNotExistIsRefusedBeforeAnythingIsMade) {
  Connect();
  EXPECT_FALSE(driver->FileSetCaptureFile(window, dir.File("missing/capture.avi")));
  EXPECT_FALSE(driver->FileAlloc(window, 5'242'880));
  EXPECT_FALSE(driver->CaptureSequence(window));
}

}  // namespace
}  // namespace tovalen::testing
