#include <gmock/gmock.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "capture/ffmpeg/test_pattern_device.h"
#include "capture/ffmpeg/video_codecs.h"
#include "driver_fixture.h"
#include "support/wait_until.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

class Recording : public DriverTest {};

TEST_F(Recording, MjpegWithSoundMatchesTheRequestedFormat) {
  Connect();
  ASSERT_TRUE(RecordFrames(45));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_EQ(file.error, "");
  ASSERT_TRUE(file.video);
  EXPECT_EQ(file.video->codec, "mjpeg");
  EXPECT_EQ(file.video->pixelFormat, "yuvj420p");
  EXPECT_EQ(file.video->width, 320);
  EXPECT_EQ(file.video->height, 240);
  EXPECT_NEAR(file.video->frameRate, 30.0, 0.01);
  EXPECT_GE(LastOutcome().framesCaptured, 45u);
  EXPECT_THAT(file.video->frameSlots, SlotsOfTheCapture(30));
  EXPECT_EQ(file.video->decodedFrames, LastOutcome().framesWritten);
  EXPECT_EQ(file.video->decodeErrors, 0);
  ASSERT_TRUE(file.audio);
  EXPECT_EQ(file.audio->codec, "pcm_s16le");
  EXPECT_EQ(file.audio->sampleRate, 44100);
  EXPECT_EQ(file.audio->channels, 2);
  // Sound and picture end together.
  EXPECT_NEAR(SoundPastPicture(file), 0, 0.002);
  EXPECT_EQ(LastOutcome().audioSamples, static_cast<std::uint64_t>(file.audio->samples));
}

TEST_F(Recording, FrameCallbacksCarryCaptureTimesInOrder) {
  Connect();
  ASSERT_TRUE(RecordFrames(20));
  // Every captured frame has its callback, also one that came in before the stop was seen.
  ASSERT_GE(headers.size(), 20u);
  EXPECT_EQ(LastOutcome().framesCaptured, headers.size());
  EXPECT_EQ(headers.front().dwTimeCaptured, 0u);
  for (std::size_t i = 1; i < headers.size(); ++i) {
    EXPECT_GT(headers[i].dwTimeCaptured, headers[i - 1].dwTimeCaptured);
    EXPECT_GT(headers[i].dwBytesUsed, 0u);
  }
  // Paced in real time: 19 frame periods from the first frame to the twentieth.
  EXPECT_NEAR(headers[19].dwTimeCaptured, 19 * 33.3, 20);
}

TEST_F(Recording, TheRequestedFrameRateIsTheFilesRate) {
  parms.dwRequestMicroSecPerFrame = 66666;  // 15 frames per second
  Connect();
  ASSERT_TRUE(RecordFrames(15));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  EXPECT_NEAR(file.video->frameRate, 15.0, 0.01);
  EXPECT_THAT(file.video->frameSlots, SlotsOfTheCapture(15));
}

struct AudioCase {
  std::uint32_t rate;
  std::uint16_t bits;
  std::uint16_t channels;
  const char* codec;
};

class AudioFormats : public DriverTest, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(AudioFormats, SoundIsExactlyTheRequestedPcm) {
  const AudioCase format = GetParam();
  wave = WaveFormat(format.rate, format.bits, format.channels);
  Connect();
  ASSERT_TRUE(RecordFrames(30));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.audio);
  EXPECT_EQ(file.audio->codec, format.codec);
  EXPECT_EQ(file.audio->sampleRate, static_cast<int>(format.rate));
  EXPECT_EQ(file.audio->channels, format.channels);
  EXPECT_NEAR(static_cast<double>(file.audio->samples), file.video->frameSlots / 30.0 * format.rate,
              format.rate * 0.07);
}

INSTANTIATE_TEST_SUITE_P(Choices, AudioFormats,
                         ::testing::Values(AudioCase{8000, 8, 1, "pcm_u8"}, AudioCase{11025, 16, 1, "pcm_s16le"},
                                           AudioCase{22050, 8, 2, "pcm_u8"}));

struct CodecCase {
  VideoCodec codec;
  const char* pixelFormat;  // what a player decodes
};

class Codecs : public DriverTest, public ::testing::WithParamInterface<CodecCase> {};

TEST_P(Codecs, EveryAvailableCodecRecordsAPlayableFile) {
  if (!FindVideoEncoder(GetParam().codec)) GTEST_SKIP() << "no encoder on this system";
  DeviceSettings settings = SmallPicture();
  settings.codec = GetParam().codec;
  Connect(settings);
  ASSERT_TRUE(RecordFrames(20));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  EXPECT_EQ(file.video->codec, CodecName(GetParam().codec));
  EXPECT_EQ(file.video->pixelFormat, GetParam().pixelFormat);
  EXPECT_EQ(file.video->width, 320);
  EXPECT_EQ(file.video->height, 240);
  EXPECT_THAT(file.video->frameSlots, SlotsOfTheCapture(30));
  EXPECT_EQ(file.video->decodeErrors, 0);
  EXPECT_EQ(file.video->decodedFrames, LastOutcome().framesWritten);
}

INSTANTIATE_TEST_SUITE_P(All, Codecs,
                         ::testing::Values(CodecCase{VideoCodec::kRawVideo, "bgr24"},
                                           CodecCase{VideoCodec::kFfv1, "yuv420p"},
                                           CodecCase{VideoCodec::kMpeg4, "yuv420p"},
                                           CodecCase{VideoCodec::kH264, "yuv420p"}),
                         [](const auto& info) { return CodecName(info.param.codec); });

struct MjpegSourceCase {
  const char* sourceFormat;
  const char* decodedFormat;  // what a player decodes: the source's own chroma subsampling
};

class MjpegSources : public DriverTest, public ::testing::WithParamInterface<MjpegSourceCase> {};

// YUV, planar or packed as cameras send it, is compressed as it comes; other formats go through
// FFmpeg's encoder. Either way the picture, colours and range included, is the source's.
TEST_P(MjpegSources, EveryFrameDecodesToTheSourcesPicture) {
  DeviceSettings settings = SmallPicture();
  settings.pixelFormat = GetParam().sourceFormat;
  Connect(settings);
  ASSERT_TRUE(RecordFrames(20));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_TRUE(file.video);
  EXPECT_EQ(file.video->codec, "mjpeg");
  EXPECT_EQ(file.video->pixelFormat, GetParam().decodedFormat);
  EXPECT_EQ(file.video->width, 320);
  EXPECT_EQ(file.video->height, 240);
  EXPECT_THAT(file.video->frameSlots, SlotsOfTheCapture(30));
  EXPECT_EQ(file.video->decodeErrors, 0);
  EXPECT_EQ(file.video->decodedFrames, LastOutcome().framesWritten);

  VideoRequest request;
  request.settings = settings;
  request.frameRate = {1'000'000, static_cast<int>(parms.dwRequestMicroSecPerFrame)};
  OpenedSource source = TestPatternDevice().OpenVideo(request);
  ASSERT_TRUE(source);
  // Every frame at its own place: YUV frames are compressed by two workers that finish out of
  // order. Quality 85 gives 36-39 dB here; limited range taken as full gives 24, mixed-up
  // chroma or a neighbouring frame less.
  EXPECT_GT(LowestPsnr(target, **source, static_cast<int>(file.video->chunks)), 33.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, MjpegSources,
                         ::testing::Values(MjpegSourceCase{"yuvj420p", "yuvj420p"},
                                           MjpegSourceCase{"yuv420p", "yuvj420p"},
                                           MjpegSourceCase{"yuyv422", "yuvj422p"},
                                           MjpegSourceCase{"rgb24", "yuvj444p"}),
                         [](const auto& info) { return std::string(info.param.sourceFormat); });

TEST_F(Recording, MjpegFromTheDeviceIsWrittenWithoutReencoding) {
  Connect();
  ASSERT_TRUE(RecordFrames(20));
  ASSERT_TRUE(Save());
  const std::string camera = dir.File("camera.avi");
  ASSERT_EQ(std::rename(target.c_str(), camera.c_str()), 0);

  driver.reset();
  MakeDriver({std::make_shared<FileReplayDevice>(camera)});
  wave = WaveFormat(44100, 16, 2);
  Connect();
  ASSERT_TRUE(RecordFrames(10));
  ASSERT_TRUE(Save());
  EXPECT_EQ(VideoPackets(target, 10), VideoPackets(camera, 10));
  EXPECT_FALSE(ProbeFile(target).audio);  // the replayed camera has no sound
}

// A user-interface loop in which the user presses a key or clicks once, some time into the capture.
class InputAfterAWhile : public MainLoop {
 public:
  InputAfterAWhile(AbortInput input, int afterLooks) : m_input(input), m_looksLeft(afterLooks) {}
  void PumpAndWait(std::chrono::milliseconds timeout) override { m_inner.PumpAndWait(timeout); }
  void Wake() override { m_inner.Wake(); }
  AbortInput TakeAbortInput() override { return --m_looksLeft == 0 ? m_input : AbortInput::kNone; }

 private:
  PlainMainLoop m_inner;
  AbortInput m_input;
  int m_looksLeft;
};

TEST_F(Recording, EscapeOrAClickEndsTheCaptureAsTheSetUpAllows) {
  services.mainLoop = std::make_shared<InputAfterAWhile>(AbortInput::kEscapeKey, 10);
  MakeDriver();
  Connect();
  EXPECT_TRUE(RecordFrames(1'000'000));  // only the key ends it
  EXPECT_EQ(LastOutcome().reason, StopReason::kUserAbort);
  EXPECT_GT(LastOutcome().framesWritten, 0u);
  EXPECT_NEAR(SoundPastPicture(ProbeFile(LastOutcome().recordingPath)), 0, 0.002);

  services.mainLoop = std::make_shared<InputAfterAWhile>(AbortInput::kRightMouseButton, 2);
  parms.fAbortRightMouse = false;
  MakeDriver();
  Connect();
  EXPECT_TRUE(RecordFrames(20));
  EXPECT_EQ(LastOutcome().reason, StopReason::kStopRequested);
  EXPECT_GE(LastOutcome().framesCaptured, 20u);
}

TEST_F(Recording, TheSetUpsTimeLimitEndsTheCapture) {
  parms.fLimitEnabled = true;
  parms.wTimeLimit = 1;
  Connect();
  EXPECT_TRUE(RecordFrames(1'000'000));
  const CaptureOutcome summary = LastOutcome();
  EXPECT_EQ(summary.reason, StopReason::kTimeLimit);
  EXPECT_THAT(summary.framesCaptured, ::testing::AllOf(::testing::Ge(30u), ::testing::Le(33u)));
  // However late the limit is seen, no frame past it counts as captured.
  EXPECT_EQ(summary.framesWritten + summary.FramesDropped(), summary.framesCaptured);
  EXPECT_NEAR(SoundPastPicture(ProbeFile(LastOutcome().recordingPath)), 0, 0.002);
}

TEST_F(Recording, TheTargetChangesOnlyWhenTheCaptureIsSaved) {
  WriteFileBytes(target, "an earlier recording");
  Connect();
  ASSERT_TRUE(RecordFrames(10));
  EXPECT_EQ(ReadFileBytes(target), "an earlier recording");
  const std::string recorded = LastOutcome().recordingPath;
  EXPECT_EQ(std::filesystem::path(recorded).parent_path(), dir.Path());
  EXPECT_EQ(ProbeFile(recorded).error, "");

  ASSERT_TRUE(Save());
  EXPECT_EQ(ProbeFile(target).video->codec, "mjpeg");
  EXPECT_FALSE(std::filesystem::exists(recorded));
  EXPECT_THAT(FilesContaining(dir.Path().string(), ".recording-"), IsEmpty());
}

TEST_F(Recording, SavingAgainCopiesTheSavedRecording) {
  Connect();
  ASSERT_TRUE(RecordFrames(5));
  ASSERT_TRUE(Save());
  const std::string copy = dir.File("copy.avi");
  ASSERT_TRUE(driver->FileSaveAs(window, copy));
  EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(target));
}

TEST_F(Recording, NothingToSaveBeforeACapture) {
  Connect();
  ASSERT_TRUE(driver->FileSetCaptureFile(window, target));
  EXPECT_FALSE(Save());
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(Recording, AKilledProcessLeavesAFileThatCanBeRead) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Connect();
    RecordFrames(1'000'000);  // until killed
    ::_exit(0);
  }
  // Killed once the file holds a second of frames, however slowly the machine records.
  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto growing = FilesContaining(dir.Path().string(), ".recording-");
        if (growing.size() != 1) return false;
        const ProbedFile probed = ProbeFile(growing[0]);
        return probed.video && probed.video->decodedFrames >= 30;
      },
      std::chrono::seconds(30), std::chrono::milliseconds(200)));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  const auto files = FilesContaining(dir.Path().string(), ".recording-");
  ASSERT_THAT(files, SizeIs(1));
  const ProbedFile file = ProbeFile(files[0]);
  ASSERT_EQ(file.error, "");
  ASSERT_TRUE(file.video);
  // Killing it loses none of the frames that had reached the file.
  EXPECT_GE(file.video->decodedFrames, 30);
  EXPECT_EQ(file.video->decodeErrors, 0);
}

}  // namespace
}  // namespace tovalen::testing
