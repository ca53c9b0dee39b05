#include <gmock/gmock.h>

#include <chrono>

#include "capture/ffmpeg/stream_device.h"
#include "driver_fixture.h"
#include "support/stream_servers.h"
#include "support/wait_until.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using namespace std::chrono_literals;
using ::testing::Ge;
using ::testing::HasSubstr;

// A server killed mid-recording is tried again soon; one slow to answer on a busy machine is
// waited for.
constexpr StreamTimes kQuickTimes{.connect = 15000ms, .firstRetry = 100ms, .longestRetry = 400ms};

// Network streams from loopback servers recorded through the driver into AVI: paced as they were
// sent, with their own sound, connected again when their server comes back.
class StreamRecording : public DriverTest {
 protected:
  StreamRecording() { parms.dwRequestMicroSecPerFrame = 40000; }  // the servers' 25 frames a second

  void ConnectTo(const std::string& url) {
    MakeDriver({std::make_shared<StreamDevice>("camera", url, kQuickTimes)});
    Connect(DeviceSettings{});  // the size the stream sends
  }

  // The recording at the target decodes whole, with as much sound as picture.
  ProbedFile ExpectWholeRecording() {
    EXPECT_TRUE(Save());
    const ProbedFile file = ProbeFile(target);
    EXPECT_TRUE(file.video && file.audio);
    if (!file.video || !file.audio) return file;
    EXPECT_EQ(file.video->decodedFrames, LastOutcome().framesWritten);
    EXPECT_EQ(file.video->decodeErrors, 0);
    EXPECT_NEAR(SoundPastPicture(file), 0, 0.002);
    return file;
  }
};

TEST_F(StreamRecording, SegmentsThatArriveInBurstsAreRecordedAtTheirOwnPaceWithTheStreamsOwnSound) {
  HlsServer server;  // a second of stream at a time, several at the start
  const auto host = std::make_shared<CountingWindowHost>();
  services.windowHost = host;
  ConnectTo(server.Url());
  // The live preview shows the stream as it shows any device.
  ASSERT_TRUE(driver->Preview(window, true));
  EXPECT_TRUE(WaitUntil([&] { return host->last->frames > 0; }, 10s));
  EXPECT_FALSE(host->last->badImage);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RecordFrames(50));
  // Handed on when their time came, 50 frames take two seconds however fast they arrived.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
  EXPECT_GE(headers.back().dwTimeCaptured, 1900u);
  EXPECT_EQ(LastOutcome().reconnects, 0u);
  const ProbedFile file = ExpectWholeRecording();
  ASSERT_TRUE(file.video && file.audio);
  EXPECT_EQ(file.video->width, 320);
  EXPECT_LE(file.video->frameSlots - file.video->chunks, 3);
  // The stream's own rate, not the sound card's 44.1 kHz of the set-up.
  EXPECT_EQ(file.audio->sampleRate, 48000);
}

TEST_F(StreamRecording, AServerKilledAndStartedAgainIsConnectedAgainAndTheTimeBetweenStaysAGap) {
  HttpStreamServer server(HttpStreamServer::Format::kMpegTs);
  ConnectTo(server.Url());
  ASSERT_TRUE(RecordAcrossAServerRestart(server, 20, 50, 1500ms));
  const CaptureOutcome outcome = LastOutcome();
  EXPECT_THAT(outcome.reconnects, Ge(1u));
  EXPECT_TRUE(outcome.interrupted);
  EXPECT_FALSE(outcome.Failed());
  const ProbedFile file = ExpectWholeRecording();
  ASSERT_TRUE(file.video);
  // The frames after it come at their time: at least the 1.5 s without a server is empty.
  EXPECT_GE(file.video->frameSlots - file.video->chunks, 35);
  EXPECT_GE(headers.back().dwTimeCaptured - headers[19].dwTimeCaptured, 1500u + 29 * 40);
}

}  // namespace
}  // namespace tovalen::testing
