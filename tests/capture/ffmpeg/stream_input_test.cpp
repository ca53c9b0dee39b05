#include "capture/ffmpeg/stream_input.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "capture/ffmpeg/stream_device.h"
#include "capture/ffmpeg/stream_target_check.h"
#include "capture/ffmpeg/test_pattern_device.h"
#include "fake_devices.h"
#include "loopback_http.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

StreamInputOptions Within(std::chrono::milliseconds deadline) {
  StreamInputOptions options;
  options.deadline = deadline;
  return options;
}

// Stream files served by the tests, each made on first use (ctest runs each case on its own):
// a short HLS channel ("list.m3u8", "local.m3u8" naming its first segment as a local file), a
// camera's MJPEG over HTTP ("camera.mjpeg"), H.264 with PCM sound in Matroska ("h264-pcm.mkv").
class StreamInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { folder = new TempDir; }
  static void TearDownTestSuite() {
    delete folder;
    folder = nullptr;
  }

  static void Make(const std::string& name) {
    const std::string lavfi = "ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=25 ";
    std::string command;
    if (name == "list.m3u8")
      command = lavfi + "-t 2 -c:v mpeg1video -f hls -hls_time 1 -hls_list_size 0 -hls_segment_filename " +
                folder->File("seg%d.ts") + " " + folder->File("list.m3u8");
    if (name == "camera.mjpeg") command = lavfi + "-t 1 -c:v mjpeg -f mpjpeg " + folder->File(name);
    if (name == "h264-pcm.mkv")
      command = lavfi + "-f lavfi -i sine -t 1 -c:v libx264 -preset ultrafast -c:a pcm_s16le " + folder->File(name);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    if (name == "list.m3u8")
      std::ofstream(folder->File("local.m3u8")) << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\nfile://"
                                                << folder->File("seg0.ts") << "\n#EXT-X-ENDLIST\n";
  }

  static TempDir* folder;
};
TempDir* StreamInputTest::folder = nullptr;

TEST_F(StreamInputTest, OpensOnlyStreamsAndOnlyTheirProtocols) {
  Make("list.m3u8");
  LoopbackHttp server(folder->Path());
  const Result<StreamInput> playlist = OpenStreamInput(server.Url("list.m3u8"), {});
  ASSERT_TRUE(playlist) << playlist.Error().detail;
  EXPECT_EQ(playlist->Context()->nb_streams, 1u);
  EXPECT_FALSE(playlist->Interrupt().Expired());  // disarmed for its reader

  // What a playlist names is held to the same protocols: a local file is not read.
  const Result<StreamInput> local = OpenStreamInput(server.Url("local.m3u8"), {});
  ASSERT_FALSE(local);
  EXPECT_THAT(local.Error().detail, HasSubstr("open http://127.0.0.1:"));

  const Result<StreamInput> file = OpenStreamInput("file://" + folder->File("seg0.ts"), {});
  ASSERT_FALSE(file);
  EXPECT_THAT(file.Error().detail, HasSubstr("not a network stream"));
  const Result<StreamInput> widened =
      OpenStreamInput(server.Url("list.m3u8"), {.demuxerOptions = {{"protocol_whitelist", "file,http,tcp,hls"}}});
  ASSERT_FALSE(widened);
  EXPECT_THAT(widened.Error().detail, HasSubstr("protocol_whitelist"));
}

TEST_F(StreamInputTest, AServerThatNeverAnswersIsGivenUpOnOrCancelled) {
  LoopbackHttp silent(folder->Path(), LoopbackHttp::Mode::kSilent);
  const auto start = std::chrono::steady_clock::now();
  const Result<StreamInput> late = OpenStreamInput(silent.Url("list.m3u8"), Within(500ms));
  ASSERT_FALSE(late);
  EXPECT_THAT(late.Error().detail, HasSubstr("no answer within 500 ms"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);

  // A cancel from another thread ends an opening long before its deadline.
  auto interrupt = std::make_shared<StreamInterrupt>();
  std::jthread canceller([interrupt] {
    std::this_thread::sleep_for(100ms);
    interrupt->Cancel();
  });
  const auto cancelStart = std::chrono::steady_clock::now();
  const Result<StreamInput> cancelled = OpenStreamInput(silent.Url("list.m3u8"), Within(600s), interrupt);
  ASSERT_FALSE(cancelled);
  EXPECT_THAT(cancelled.Error().detail, HasSubstr("cancelled"));
  EXPECT_LT(std::chrono::steady_clock::now() - cancelStart, 60s);
}

TEST_F(StreamInputTest, CredentialsAppearInNoErrorAndNoTrace) {
  LoopbackHttp server(folder->Path());
  std::ofstream(folder->File("guarded.m3u8"))
      << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n"
      << server.Url("gone.ts?token=s3cret", "viewer:s3cret") << "\n#EXT-X-ENDLIST\n";
  TraceCapture trace;
  for (const char* name : {"gone.m3u8?token=s3cret", "guarded.m3u8"}) {
    const Result<StreamInput> missing = OpenStreamInput(server.Url(name, "viewer:s3cret"), {});
    ASSERT_FALSE(missing);
    EXPECT_THAT(missing.Error().detail, HasSubstr("http://***@127.0.0.1:"));
    EXPECT_THAT(missing.Error().detail, Not(HasSubstr("s3cret")));
  }
  EXPECT_THAT(trace.Text(), HasSubstr("***@127.0.0.1"));  // FFmpeg named the segment
  EXPECT_THAT(trace.Text(), Not(HasSubstr("s3cret")));

  EXPECT_EQ(MaskUrlsInText("Opening 'http://u:pw@h/a.ts?key=k1' for reading; then rtsp://v:pw@h2/x\n"),
            "Opening 'http://***@h/a.ts?key=***' for reading; then rtsp://***@h2/x\n");
}

// Device 0 the test pattern, 1 a camera's MJPEG, 2 H.264 with PCM sound, 3 a stream that is down.
TEST_F(StreamInputTest, ACopyIsCheckedAgainstTheStreamsCodecsWhenEntered) {
  Make("camera.mjpeg");
  Make("h264-pcm.mkv");
  LoopbackHttp server(folder->Path());
  LoopbackHttp silent(folder->Path(), LoopbackHttp::Mode::kSilent);
  const auto catalog = std::make_shared<FixedCatalog>(std::vector<std::shared_ptr<CaptureDevice>>{
      std::make_shared<TestPatternDevice>(), std::make_shared<StreamDevice>("cam", server.Url("camera.mjpeg")),
      std::make_shared<StreamDevice>("tv", server.Url("h264-pcm.mkv")),
      std::make_shared<StreamDevice>("down", silent.Url("live.ts", "viewer:s3cret"))});
  const StreamTargetCheck check(catalog, 30s);

  EXPECT_THAT(check.Check(0, "/v/a.MP4").refusal, HasSubstr("ネットワークストリーム"));
  EXPECT_TRUE(check.Check(0, "/v/a.avi").Accepted());
  EXPECT_TRUE(check.Check(7, "/v/a.ts").Accepted());  // no device there now: the recording tells

  EXPECT_THAT(check.Check(1, "/v/cam.ts").refusal, HasSubstr("映像 (mjpeg) は .ts ファイル"));
  EXPECT_THAT(check.Check(1, "/v/cam.ts").refusal, HasSubstr(".mkv、.mp4 か .avi"));
  EXPECT_TRUE(check.Check(1, "/v/cam.mkv").Accepted());
  const TargetCheckAnswer tv = check.Check(2, "/v/tv.mkv");
  EXPECT_TRUE(tv.Accepted() && tv.warning.empty()) << tv.refusal << tv.warning;
  EXPECT_THAT(check.Check(2, "/v/tv.mp4").refusal, HasSubstr("音声 (pcm_s16le) は .mp4 ファイル"));

  const TargetCheckAnswer down = StreamTargetCheck(catalog, 1s).Check(3, "/v/down.mp4");
  EXPECT_TRUE(down.Accepted());
  EXPECT_THAT(down.warning, HasSubstr("no answer within 1 s"));
  EXPECT_THAT(down.warning, Not(HasSubstr("s3cret")));
}

}  // namespace
}  // namespace tovalen::testing
