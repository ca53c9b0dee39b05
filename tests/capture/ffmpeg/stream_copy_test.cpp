#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "capture/ffmpeg/ffmpeg_leftover_recovery.h"
#include "capture/ffmpeg/stream_copy_container.h"
#include "driver_fixture.h"
#include "fake_stream_session.h"
#include "support/stream_servers.h"
#include "support/wait_until.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using namespace std::chrono_literals;
using ::testing::Ge;
using ::testing::HasSubstr;
using ::testing::SizeIs;

// Short enough for a test: a server killed mid-recording is noticed and tried again at once; a
// server slow to send on a busy machine is waited for.
constexpr StreamTimes kQuickTimes{.connect = 15000ms, .stall = 1000ms, .firstRetry = 100ms, .longestRetry = 400ms};

// Copies of an H.264 and AAC stream through the driver as recordings of a stream device: from a
// loopback server, or replayed from a file as a session on the network hands its packets on.
class StreamCopy : public DriverTest {
 protected:
  static void SetUpTestSuite() {
    sourceDir = new TempDir;
    source = MakeH264AacSource(sourceDir->Path().string());
  }
  static void TearDownTestSuite() {
    delete sourceDir;
    sourceDir = nullptr;
  }

  void SetUp() override { ASSERT_NE(source, "") << "the ffmpeg program could not make the stream"; }

  void ConnectStream(std::uint16_t limitSeconds, const std::string& url = "") {
    if (url.empty()) {
      auto device = std::make_shared<ReplayedStreamDevice>(source, goneAfterVideo, reconnectAfterVideo);
      device->sizeUnknown = sizeUnknown;
      MakeDriver({device});
    } else
      MakeDriver({std::make_shared<StreamDevice>("channel", url, kQuickTimes)});
    parms.fLimitEnabled = limitSeconds > 0;
    parms.wTimeLimit = limitSeconds;
    Connect();
  }

  static inline TempDir* sourceDir = nullptr;
  static inline std::string source;
  std::optional<int> goneAfterVideo;
  std::optional<int> reconnectAfterVideo;
  bool sizeUnknown = false;
};

// Also when the look at the stream missed the picture's size, which Matroska and MP4 write in
// their headers: the first key frame tells it.
TEST_F(StreamCopy, KeepsTheCodecsAndTheLengthAskedInEachContainer) {
  for (const std::string name : {"copy.ts", "copy.mkv", "COPY.MP4", "unsized.mkv", "unsized.mp4"}) {
    SCOPED_TRACE(name);
    target = dir.File(name);
    sizeUnknown = name.starts_with("unsized");
    ConnectStream(2);
    ASSERT_TRUE(RecordFrames(1'000'000));  // until the time limit
    ASSERT_TRUE(Save());
    const CaptureOutcome outcome = LastOutcome();
    EXPECT_EQ(outcome.reason, StopReason::kTimeLimit);
    const ProbedFile file = ProbeFile(target);
    ASSERT_EQ(file.error, "");
    ASSERT_TRUE(file.video && file.audio);
    EXPECT_EQ(file.streams, 2);  // a header written once, not twice over itself
    // Copied, not encoded again: the stream's own codecs, every frame decoding.
    EXPECT_EQ(file.video->codec, "h264");
    EXPECT_EQ(file.video->width, 320);
    EXPECT_EQ(file.audio->codec, "aac");
    EXPECT_EQ(file.video->decodeErrors, 0);
    EXPECT_THAT(file.video->decodedFrames, AboutFrames(2.0, 25));
    EXPECT_NEAR(file.video->seconds, 2.0, 0.1);
    EXPECT_EQ(file.video->chunks, outcome.framesWritten);
    // The frame callback heard every frame, as for an encoded capture.
    EXPECT_EQ(static_cast<std::int64_t>(headers.size()), outcome.framesCaptured);
    EXPECT_EQ(outcome.framesCaptured, outcome.framesWritten);
    // Sound and picture last as long, to within a frame or two; the outcome counts the sound.
    EXPECT_NEAR(file.audio->seconds, file.video->decodedFrames / 25.0, 0.1);
    EXPECT_NEAR(static_cast<double>(outcome.audioSamples) / file.audio->sampleRate, file.audio->seconds, 0.1);
    EXPECT_TRUE(driver->DestroyWindow(window));
  }
}

TEST_F(StreamCopy, AServerKilledAndStartedAgainLeavesAGapInTheCopyThatStillPlays) {
  HttpStreamServer server(HttpStreamServer::Format::kMpegTs);
  target = dir.File("gap.mp4");
  ConnectStream(0, server.Url());
  ASSERT_TRUE(RecordAcrossAServerRestart(server, 20, 50, 1500ms)) << LastOutcome().detail;
  const CaptureOutcome outcome = LastOutcome();
  EXPECT_THAT(outcome.reconnects, Ge(1u));
  EXPECT_TRUE(outcome.interrupted);
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video && file.audio);
  EXPECT_EQ(file.video->codec, "h264");
  EXPECT_EQ(file.video->decodeErrors, 0);
  EXPECT_EQ(file.video->decodedFrames, outcome.framesWritten);
  // The frames after the gap come at their time, and the sound with them.
  EXPECT_GE(file.video->seconds, 1.5 + 49 * 0.04);
  EXPECT_NEAR(file.audio->seconds, file.video->seconds, 0.15);
}

// Still gone at the reservation's end: a failure, but what came before is the recording.
// Before, it connected again in the middle of a group of pictures.
TEST_F(StreamCopy, AStreamStillGoneAtTheEndFailsAndSavesWhatWasCopiedAtTheTarget) {
  reconnectAfterVideo = 10;  // frames 10 to 21 are lost; 22 to 24 need them; 25 is a key frame
  goneAfterVideo = 30;       // handed on: 0 to 9, then 22 to 41
  target = dir.File("gone.mkv");
  ConnectStream(2);
  EXPECT_FALSE(RecordFrames(1'000'000));
  const CaptureOutcome outcome = LastOutcome();
  EXPECT_EQ(outcome.reason, StopReason::kDeviceLost);
  EXPECT_THAT(outcome.detail, HasSubstr("the server went away"));
  EXPECT_EQ(outcome.recordingPath, target);
  const ProbedFile file = ProbeFile(target);
  ASSERT_EQ(file.error, "");
  ASSERT_TRUE(file.video);
  EXPECT_EQ(file.video->chunks, 10 + 17);
  EXPECT_EQ(file.video->decodedFrames, 10 + 17);
  EXPECT_EQ(file.video->decodeErrors, 0);
  EXPECT_EQ(outcome.reconnects, 1u);
}

TEST_F(StreamCopy, OnlyAStreamIsCopiedAndOnlyIntoAContainerThatHoldsIt) {
  target = dir.File("pattern.mkv");
  MakeDriver();  // the test pattern
  Connect();
  EXPECT_FALSE(RecordFrames(10));
  EXPECT_EQ(LastOutcome().reason, StopReason::kDeviceOpenFailed);
  EXPECT_THAT(LastOutcome().detail, HasSubstr("only a network stream can be copied into Matroska"));
  EXPECT_THAT(FilesContaining(dir.Path().string(), "pattern"), SizeIs(0));

  EXPECT_FALSE(CopyContainerFor(dir.File("show.avi")));
  EXPECT_FALSE(CopyContainerFor(dir.File("show.ts.avi")));
  EXPECT_TRUE(CheckContainerHolds(*CopyContainerFor("a.ts"), AV_CODEC_ID_HEVC));
  EXPECT_TRUE(CheckContainerHolds(*CopyContainerFor("a.mp4"), AV_CODEC_ID_AAC));
  const Result<> refused = CheckContainerHolds(*CopyContainerFor("a.Ts"), AV_CODEC_ID_MJPEG);
  ASSERT_FALSE(refused);
  EXPECT_THAT(refused.Error().detail, HasSubstr("mjpeg cannot be copied into MPEG-TS"));
  EXPECT_FALSE(CheckContainerHolds(*CopyContainerFor("a.mp4"), AV_CODEC_ID_PCM_S16BE));
}

// Each copy recorded by a process of its own that is killed once its file holds a second of
// frames, however slowly the machine records; then recovered as the runner's sweep would.
TEST_F(StreamCopy, AKilledCopyIsRecoveredInItsOwnContainer) {
  const std::vector<std::string> names{"killed-ts.ts", "killed-mkv.mkv", "killed-mp4.mp4"};
  std::vector<pid_t> children;
  for (const std::string& name : names) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      target = dir.File(name);
      ConnectStream(0);
      RecordFrames(1'000'000);  // until killed
      ::_exit(0);
    }
    children.push_back(child);
  }
  const auto leftoverOf = [this](const std::string& name) {
    const std::string stem = std::filesystem::path(name).stem().string();
    const auto files = FilesContaining(dir.Path().string(), stem + ".recording-");
    return files.size() == 1 ? files[0] : std::string();
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(WaitUntil(
        [&] {
          const std::string growing = leftoverOf(name);
          if (growing.empty()) return false;
          const ProbedFile probed = ProbeFile(growing);
          return probed.video && probed.video->decodedFrames >= 25;
        },
        std::chrono::seconds(30), std::chrono::milliseconds(200)));
  }
  for (const pid_t child : children) {
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
  }

  FfmpegLeftoverRecovery recovery;
  EXPECT_THAT(recovery.FindLeftovers(dir.Path().string()), SizeIs(3));
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string leftover = leftoverOf(name);
    ASSERT_NE(leftover, "");
    EXPECT_THAT(leftover, ::testing::EndsWith(std::filesystem::path(name).extension().string()));
    const LeftoverReport report = recovery.Recover(leftover);
    ASSERT_EQ(report.result, LeftoverReport::Result::kRecovered) << report.detail;
    EXPECT_EQ(report.recovered, dir.File(name));
    EXPECT_FALSE(std::filesystem::exists(leftover));
    const ProbedFile file = ProbeFile(report.recovered);
    ASSERT_EQ(file.error, "");
    ASSERT_TRUE(file.video && file.audio);
    EXPECT_EQ(file.video->codec, "h264");
    EXPECT_EQ(file.audio->codec, "aac");
    EXPECT_EQ(file.video->decodeErrors, 0);
    EXPECT_GE(file.video->decodedFrames, 25);
    EXPECT_EQ(file.video->decodedFrames, report.frames);
    EXPECT_GT(file.audio->seconds, 0.9);
  }
}

}  // namespace
}  // namespace tovalen::testing
