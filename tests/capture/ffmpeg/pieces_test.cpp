#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "capture/ffmpeg/audio_converter.h"
#include "capture/ffmpeg/bounded_queue.h"
#include "capture/ffmpeg/capture_file.h"
#include "capture/ffmpeg/pipeline_stop_state.h"
#include "capture/ffmpeg/reader_timing.h"
#include "capture/ffmpeg/stream_packet_buffer.h"
#include "capture/ffmpeg/stream_timeline.h"
#include "capture/ffmpeg/video_codecs.h"
#include "driver_fixture.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using ::testing::ElementsAre;
using ::testing::Optional;

TEST(BoundedQueue, RefusesWhenFullAndEndsAfterClose) {
  BoundedQueue<int> queue(2);
  int a = 1, b = 2, c = 3;
  EXPECT_TRUE(queue.TryPush(a));
  EXPECT_TRUE(queue.TryPush(b));
  EXPECT_FALSE(queue.TryPush(c));
  EXPECT_TRUE(queue.Full());
  queue.Close();
  EXPECT_FALSE(queue.TryPush(c));
  EXPECT_THAT(queue.Pop(), Optional(1));
  EXPECT_THAT(queue.Pop(), Optional(2));
  EXPECT_EQ(queue.Pop(), std::nullopt);
}

TEST(BoundedQueue, PushWaitsForRoom) {
  BoundedQueue<int> queue(1);
  ASSERT_TRUE(queue.Push(1));
  std::jthread producer([&] { queue.Push(2); });
  EXPECT_THAT(queue.PopFor(std::chrono::milliseconds(10)), Optional(1));
  EXPECT_THAT(queue.PopFor(std::chrono::seconds(2)), Optional(2));
  EXPECT_EQ(queue.PopFor(std::chrono::milliseconds(10)), std::nullopt);
}

// A consumer that takes batches is woken by the count, not its patience; a lone item still
// goes after the patience, and a close ends the wait at once.
TEST(BoundedQueue, ABatchingConsumerWakesAtItsCountOrAfterItsPatience) {
  using namespace std::chrono_literals;
  BoundedQueue<int> queue(8);
  queue.WakeConsumerAt(2);
  const auto start = std::chrono::steady_clock::now();
  std::jthread producer([&] {
    queue.Push(1);
    std::this_thread::sleep_for(20ms);
    queue.Push(2);
  });
  EXPECT_THAT(queue.PopPatiently(60s), Optional(1));
  EXPECT_THAT(queue.PopPatiently(60s), Optional(2));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  producer.join();
  std::jthread lone([&] {
    std::this_thread::sleep_for(20ms);
    queue.Push(3);
  });
  EXPECT_THAT(queue.PopPatiently(10ms), Optional(3));
  std::jthread closer([&] {
    std::this_thread::sleep_for(20ms);
    queue.Close();
  });
  EXPECT_EQ(queue.PopPatiently(60s), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

// The sound's end waits for the video's end on the condition: woken by the last encoder worker,
// not by its timeout. A stop never falls before a frame already admitted.
TEST(PipelineStopState, TheLastEncoderWorkerEndsTheVideoAndWakesItsWaiter) {
  PipelineStopState state;
  state.ExpectWorkers(2, 3);
  std::optional<PipelineStopState::VideoEnd> seen;
  const auto waitStart = std::chrono::steady_clock::now();
  std::jthread sound([&] { seen = state.WaitForVideoEnd(std::chrono::seconds(60)); });
  ASSERT_TRUE(state.Admit(1'000));
  state.StopAt(500);
  EXPECT_THAT(state.StopUs(), Optional(1'000));
  EXPECT_FALSE(state.Admit(1'001));
  state.SetVideoReached(1'040);
  state.EncoderWorkerDone();
  EXPECT_EQ(state.VideoEnded(), std::nullopt);
  state.EncoderWorkerDone();
  sound.join();
  EXPECT_LT(std::chrono::steady_clock::now() - waitStart, std::chrono::seconds(30));
  ASSERT_TRUE(seen.has_value());
  EXPECT_THAT(seen->lastFrameEndUs, Optional(1'040));
  EXPECT_FALSE(state.ProducerDone() || state.ProducerDone());
  EXPECT_TRUE(state.ProducerDone());
}

TEST(CaptureClock, FollowsTheTimestampsNotTheReads) {
  CaptureClock clock;
  const AVRational ms{1, 1000};
  EXPECT_EQ(clock.Map(5000, ms, 1'000'000), 1'000'000);
  EXPECT_EQ(clock.Map(5040, ms, 1'070'000), 1'040'000);  // read late: still 40 ms after the first
  EXPECT_EQ(clock.Map(AV_NOPTS_VALUE, ms, 1'100'000), 1'100'000);
  // A timestamp far from its arrival (the device restarted its clock) starts anew.
  EXPECT_EQ(clock.Map(100, ms, 1'200'000), 1'200'000);
  EXPECT_EQ(clock.Map(133, ms, 1'240'000), 1'233'000);
}

TEST(StreamTimeline, KeepsASendersSpacingAndAnchorsAnewWhenItsClockJumps) {
  StreamTimeline timeline;
  constexpr std::int64_t s = 1'000'000;
  // A burst (a segment read at once) keeps the spacing it was sent with.
  EXPECT_EQ(timeline.Map(10 * s, 100 * s), 100 * s);
  EXPECT_EQ(timeline.Map(10 * s + 40'000, 100 * s + 1'000), 100 * s + 40'000);
  EXPECT_EQ(timeline.Map(12 * s, 100 * s + 2'000), 102 * s);
  // Late packets within a few seconds keep their place; packets without a timestamp take their arrival.
  EXPECT_EQ(timeline.Map(13 * s, 105 * s), 103 * s);
  EXPECT_EQ(timeline.Map(AV_NOPTS_VALUE, 105 * s + 1), 105 * s + 1);
  EXPECT_EQ(timeline.Anchors(), 1);
  struct Case {
    const char* what;
    std::int64_t streamUs;  // of the packet after one at 13 s, arriving at 106 s
  };
  const Case cases[] = {
      {"a jump ahead", 60 * s},
      {"a jump back", 2 * s},
      {"a restart of the sender", 0},
      {"a wrap of a 33-bit clock", 1'000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StreamTimeline jumping;
    // Just before the wrap of a 90 kHz 33-bit clock, or at 13 s.
    const std::int64_t beforeUs = c.streamUs == 1'000 ? (std::int64_t{1} << 33) * 100 / 9 - 20'000 : 13 * s;
    jumping.Map(beforeUs - 40'000, 106 * s - 40'000);
    EXPECT_EQ(jumping.Map(beforeUs, 106 * s), 106 * s);
    EXPECT_EQ(jumping.Map(c.streamUs, 106 * s + 40'000), 106 * s + 40'000);
    EXPECT_EQ(jumping.Map(c.streamUs + 40'000, 106 * s + 41'000), 106 * s + 80'000);
    EXPECT_EQ(jumping.Anchors(), 2);
  }
  // A sender that paused with its clock running on: the time without packets stays a gap.
  EXPECT_EQ(timeline.Map(13 * s + 40'000, 110 * s), 110 * s);
  EXPECT_EQ(timeline.Map(13 * s + 80'000, 110 * s + 1'000), 110 * s + 40'000);
  EXPECT_EQ(timeline.Anchors(), 2);
}

TEST(StreamPacketBuffer, HandsOnWhenDueAndDropsTheOldestPastItsBounds) {
  const auto packet = [](std::int64_t dueUs, int bytes) {
    StreamPacket held{MakePacket(), dueUs, 0, nullptr};
    if (av_new_packet(held.packet.get(), bytes) < 0) throw std::bad_alloc();
    held.packet->pts = dueUs;
    return held;
  };
  StreamPacketBuffer buffer;
  buffer.Push(AVMEDIA_TYPE_VIDEO, packet(1'000, 10), 0);
  buffer.Push(AVMEDIA_TYPE_AUDIO, packet(500, 10), 0);
  EXPECT_FALSE(buffer.TakeDue(AVMEDIA_TYPE_VIDEO, 999));
  EXPECT_EQ(buffer.TakeDue(AVMEDIA_TYPE_VIDEO, 1'000)->packet->pts, 1'000);
  EXPECT_EQ(buffer.TakeDue(AVMEDIA_TYPE_AUDIO, 1'000)->packet->pts, 500);
  // Past its span in seconds, then past its bytes: the oldest go, counted.
  constexpr std::int64_t span = StreamPacketBuffer::kMaxSpanUs;
  buffer.Push(AVMEDIA_TYPE_VIDEO, packet(0, 10), 0);
  buffer.Push(AVMEDIA_TYPE_VIDEO, packet(span, 10), 0);
  EXPECT_EQ(buffer.Dropped(), 0u);
  buffer.Push(AVMEDIA_TYPE_VIDEO, packet(span + 1, 10), 0);
  EXPECT_EQ(buffer.Dropped(), 1u);
  buffer.Push(AVMEDIA_TYPE_AUDIO, packet(span + 2, StreamPacketBuffer::kMaxBytes - 10), 0);
  EXPECT_EQ(buffer.Dropped(), 2u);
  EXPECT_EQ(buffer.TakeDue(AVMEDIA_TYPE_VIDEO, INT64_MAX)->packet->pts, span + 1);
  EXPECT_EQ(buffer.TakeDue(AVMEDIA_TYPE_AUDIO, INT64_MAX)->packet->pts, span + 2);
  // Sound nobody reads goes long after its time without counting as dropped.
  buffer.Push(AVMEDIA_TYPE_AUDIO, packet(0, 10), 0);
  buffer.Push(AVMEDIA_TYPE_VIDEO, packet(10'000'000, 10), 10'000'000);
  EXPECT_FALSE(buffer.TakeDue(AVMEDIA_TYPE_AUDIO, INT64_MAX));
  EXPECT_EQ(buffer.Dropped(), 2u);
  // What a copy takes over when it starts: all of it, due or not, oldest first of either kind.
  buffer.Push(AVMEDIA_TYPE_AUDIO, packet(10'000'300, 10), 10'000'000);
  buffer.Push(AVMEDIA_TYPE_VIDEO, packet(10'000'500, 10), 10'000'000);
  std::vector<std::pair<AVMediaType, std::int64_t>> order;
  while (auto oldest = buffer.TakeOldest()) order.emplace_back(oldest->first, oldest->second.packet->pts);
  EXPECT_THAT(order, ::testing::ElementsAre(std::pair{AVMEDIA_TYPE_VIDEO, 10'000'000},
                                            std::pair{AVMEDIA_TYPE_AUDIO, 10'000'300},
                                            std::pair{AVMEDIA_TYPE_VIDEO, 10'000'500}));
}

TEST(FrameSizeText, OnlyPlainDimensionsInRange) {
  EXPECT_THAT(FrameSize::Parse("640x480"), Optional(FrameSize{640, 480}));
  for (const char* bad : {"640", "x480", "640x", "+640x480", "640x-480", "640 x480", "8x8", "9000x480", "640x480p"})
    EXPECT_EQ(FrameSize::Parse(bad), std::nullopt) << bad;
}

TEST(VideoCodecChoice, QualityMapsOntoTheEncodersScale) {
  EXPECT_EQ(QuantiserFor(100), 2);
  EXPECT_EQ(QuantiserFor(1), 31);
  EXPECT_EQ(QuantiserFor(500), 2);
  EXPECT_LT(QuantiserFor(85), QuantiserFor(50));
  EXPECT_EQ(EncoderPixelFormat(VideoCodec::kMjpeg, AV_PIX_FMT_YUV420P), AV_PIX_FMT_YUVJ420P);
  EXPECT_EQ(EncoderPixelFormat(VideoCodec::kMjpeg, AV_PIX_FMT_YUYV422), AV_PIX_FMT_YUVJ422P);
  EXPECT_EQ(EncoderPixelFormat(VideoCodec::kRawVideo, AV_PIX_FMT_YUV420P), AV_PIX_FMT_BGR24);
  EXPECT_THAT(ParseCodecName("ffv1"), Optional(VideoCodec::kFfv1));
  EXPECT_EQ(ParseCodecName("vp9"), std::nullopt);
}

// 8 kHz mono 16-bit sound whose samples all have one value, into 8 kHz mono 8-bit.
class AudioPlacement : public ::testing::Test {
 protected:
  AudioPlacement() {
    parameters = avcodec_parameters_alloc();
    parameters->codec_type = AVMEDIA_TYPE_AUDIO;
    parameters->codec_id = AV_CODEC_ID_PCM_S16LE;
    parameters->format = AV_SAMPLE_FMT_S16;
    parameters->sample_rate = 8000;
    av_channel_layout_default(&parameters->ch_layout, 1);
    if (auto created = AudioConverter::Create(*parameters, WaveFormat(8000, 8, 1))) converter = std::move(*created);
  }
  ~AudioPlacement() override { avcodec_parameters_free(&parameters); }

  // The samples written for a packet of `count` loud samples captured at captureUs, as runs:
  // "80 silent, 80 loud".
  std::string Convert(int count, std::int64_t captureUs, std::int64_t endUs = INT64_MAX) {
    PacketPtr packet = MakePacket();
    av_new_packet(packet.get(), count * 2);
    for (int i = 0; i < count; ++i) reinterpret_cast<std::int16_t*>(packet->data)[i] = 16384;
    std::vector<PacketPtr> out;
    EXPECT_TRUE(converter->Convert(*packet, captureUs, 0, endUs, out));
    std::string samples;
    for (const PacketPtr& p : out)
      samples.append(reinterpret_cast<const char*>(p->data), static_cast<std::size_t>(p->size));
    return Runs(samples);
  }

  static std::string Runs(const std::string& samples) {
    std::string runs;
    for (std::size_t i = 0; i < samples.size();) {
      const std::size_t end = samples.find_first_not_of(samples[i], i);
      const std::size_t length = (end == std::string::npos ? samples.size() : end) - i;
      runs += (runs.empty() ? "" : ", ") + std::to_string(length) + (samples[i] == '\x80' ? " silent" : " loud");
      i += length;
    }
    return runs;
  }

  AVCodecParameters* parameters = nullptr;
  std::unique_ptr<AudioConverter> converter;
};

TEST_F(AudioPlacement, ALateStartIsPaddedWithSilence) {
  ASSERT_TRUE(converter);
  EXPECT_EQ(Convert(80, 10'000), "80 silent, 80 loud");  // 10 ms late
  EXPECT_EQ(Convert(80, 20'000), "80 loud");
  EXPECT_EQ(converter->SamplesWritten(), 240u);
}

TEST_F(AudioPlacement, SoundBeforeTheFirstFrameIsCut) {
  EXPECT_EQ(Convert(160, -10'000), "80 loud");
  EXPECT_EQ(Convert(80, -50'000), "80 loud");  // after the start, jitter is ignored
}

TEST_F(AudioPlacement, AGapOfLostPacketsIsFilledButJitterIsNot) {
  Convert(80, 0);
  EXPECT_EQ(Convert(80, 15'000), "80 loud");
  EXPECT_EQ(Convert(80, 520'000), "4000 silent, 80 loud");
}

TEST_F(AudioPlacement, NothingIsWrittenPastTheEndOfTheVideo) {
  EXPECT_EQ(Convert(80, 0, 5'000), "40 loud");
  EXPECT_EQ(Convert(80, 10'000, 5'000), "");
}

class CaptureFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string target = dir.File("show.avi");
};

TEST_F(CaptureFileTest, IsMadeBesideTheTargetAndGoesOnlyWhenNothingWasRecorded) {
  std::string path;
  {
    auto created = CaptureFile::CreateBeside(target);
    ASSERT_TRUE(created);
    auto& file = *created;
    path = file->Path();
    EXPECT_EQ(std::filesystem::path(path).parent_path(), dir.Path());
    EXPECT_THAT(path, ::testing::EndsWith(".avi"));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  // Locked while the object lives, closed or not, so that a recovery of leftovers passes over it;
  // the recovery finds the target from its name.
  const auto lockable = [&path] {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
  };
  {
    auto file = std::move(*CaptureFile::CreateBeside(target));
    path = file->Path();
    file->MarkRecorded();
    EXPECT_FALSE(lockable());
    ASSERT_TRUE(file->Close());
    EXPECT_FALSE(lockable());
    EXPECT_EQ(LeftoverTarget(path), target);
  }
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_TRUE(lockable());
  EXPECT_EQ(LeftoverTarget(dir.File("show.recording-abc.avi")), "");
  // A stream's copy keeps its container's extension, so that recovery opens it as one.
  {
    const std::string copyTarget = dir.File("show.MKV");
    auto copy = std::move(*CaptureFile::CreateBeside(copyTarget));
    EXPECT_THAT(copy->Path(), ::testing::EndsWith(".MKV"));
    EXPECT_EQ(LeftoverTarget(copy->Path()), copyTarget);
  }
  EXPECT_EQ(LeftoverTarget(dir.File("show.recording-abcdef.mpg")), "");
  const auto missing = CaptureFile::CreateBeside(dir.File("missing/show.avi"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.Error().errorNumber, ENOENT);
}

TEST_F(CaptureFileTest, ReservesSpaceWithoutGrowingTheFileAndHasTheUsualMode) {
  auto file = std::move(*CaptureFile::CreateBeside(target));
  const auto reserved = file->Preallocate(5'242'880);
  ASSERT_TRUE(reserved) << reserved.Error().detail;
  struct stat info {};
  ASSERT_EQ(::fstat(file->Fd(), &info), 0);
  EXPECT_EQ(info.st_size, 0);
  EXPECT_GE(info.st_blocks * 512, 5'242'880);
  const mode_t mask = ::umask(0);  // the test runs on one thread here
  ::umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(CaptureFileTest, SavingReplacesTheTargetAtOnce) {
  WriteFileBytes(target, "old");
  auto file = std::move(*CaptureFile::CreateBeside(target));
  ASSERT_EQ(::write(file->Fd(), "new", 3), 3);
  file->MarkRecorded();
  EXPECT_FALSE(file->SaveAs(target));  // still open
  ASSERT_TRUE(file->Close());
  ASSERT_TRUE(file->SaveAs(target));
  EXPECT_EQ(ReadFileBytes(target), "new");
  ASSERT_TRUE(file->SaveAs(dir.File("second.avi")));
  EXPECT_EQ(ReadFileBytes(dir.File("second.avi")), "new");
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_FALSE(file->SaveAs(dir.File("missing/third.avi")));
}

}  // namespace
}  // namespace tovalen::testing
