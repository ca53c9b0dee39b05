#include <gmock/gmock.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "capture/ffmpeg/ffmpeg_handles.h"
#include "support/stream_servers.h"

namespace tovalen::testing {
namespace {

// What libavformat reads from a URL in about a second of the stream's own time.
struct Reading {
  std::string error;
  bool video = false;
  bool audio = false;
  double videoSeconds = 0;  // from the first video packet's time to the last one's
};

Reading ReadAbout1Second(const std::string& url, const char* whitelist = nullptr) {
  Reading reading;
  AVDictionary* options = nullptr;
  if (whitelist != nullptr) av_dict_set(&options, "protocol_whitelist", whitelist, 0);
  av_dict_set(&options, "rw_timeout", "5000000", 0);
  av_dict_set(&options, "timeout", "5000000", 0);
  av_dict_set(&options, "rtsp_transport", "tcp", 0);
  AVFormatContext* raw = nullptr;
  const int opened = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    reading.error = "cannot open: " + std::to_string(opened);
    return reading;
  }
  ffmpeg::InputContextPtr input(raw);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) {
    reading.error = "no stream information";
    return reading;
  }
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVMediaType type = input->streams[i]->codecpar->codec_type;
    reading.video = reading.video || type == AVMEDIA_TYPE_VIDEO;
    reading.audio = reading.audio || type == AVMEDIA_TYPE_AUDIO;
  }
  ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
  std::int64_t first = AV_NOPTS_VALUE;
  for (int count = 0; count < 2000 && reading.videoSeconds < 1.0; ++count) {
    if (av_read_frame(input.get(), packet.get()) < 0) break;
    const AVStream& stream = *input->streams[packet->stream_index];
    if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && packet->pts != AV_NOPTS_VALUE) {
      if (first == AV_NOPTS_VALUE) first = packet->pts;
      reading.videoSeconds = static_cast<double>(packet->pts - first) * av_q2d(stream.time_base);
    }
    av_packet_unref(packet.get());
  }
  return reading;
}

struct ServerCase {
  const char* name;
  std::function<std::shared_ptr<void>(std::string& url)> start;
  bool sound;
};

template <typename Server, typename... Args>
std::function<std::shared_ptr<void>(std::string&)> Starting(Args... args) {
  return [=](std::string& url) {
    auto server = std::make_shared<Server>(args...);
    url = server->Url();
    return std::shared_ptr<void>(server);
  };
}

// Every fixture the stream tests record from delivers a picture that moves on in time, and its
// sound where it has one.
TEST(StreamServers, EachDeliversItsStreams) {
  using Format = HttpStreamServer::Format;
  using Transport = PacketStreamSender::Transport;
  const ServerCase cases[] = {
      {"http mpeg-ts", Starting<HttpStreamServer>(Format::kMpegTs), true},
      {"http mjpeg", Starting<HttpStreamServer>(Format::kMjpeg), false},
      {"hls", Starting<HlsServer>(), true},
      {"udp", Starting<PacketStreamSender>(Transport::kUdp), true},
      {"rtp", Starting<PacketStreamSender>(Transport::kRtp), true},
      {"rtsp", Starting<RtspServer>(), true},
      {"srt", Starting<SrtServer>(), true},
  };
  for (const ServerCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string url;
    const std::shared_ptr<void> server = c.start(url);
    EXPECT_THAT(url, ::testing::HasSubstr("://127.0.0.1:"));
    const Reading reading = ReadAbout1Second(url);
    EXPECT_EQ(reading.error, "");
    EXPECT_TRUE(reading.video);
    EXPECT_EQ(reading.audio, c.sound);
    EXPECT_GE(reading.videoSeconds, 0.9);
  }
}

// A stopped server refuses, and started again it serves at the same address; credentials are
// asked for; the faulty servers deliver nothing a reader can use, and the local playlist leads a
// reader that allows files into the local file (what the recorder must refuse).
TEST(StreamServers, StopStartCredentialsAndFaults) {
  HttpStreamServer http(HttpStreamServer::Format::kMpegTs);
  const std::string url = http.Url();
  http.Stop();
  EXPECT_NE(ReadAbout1Second(url).error, "");
  http.Start();
  EXPECT_EQ(http.Url(), url);
  EXPECT_GE(ReadAbout1Second(url).videoSeconds, 0.9);

  RtspServer rtsp("viewer", "pa55-Word");
  EXPECT_NE(ReadAbout1Second(rtsp.Url()).error, "");
  EXPECT_THAT(rtsp.UrlWithCredentials(), ::testing::HasSubstr("viewer:pa55-Word@127.0.0.1:"));
  EXPECT_GE(ReadAbout1Second(rtsp.UrlWithCredentials()).videoSeconds, 0.9);

  const auto start = std::chrono::steady_clock::now();
  SilentServer silent;
  EXPECT_NE(ReadAbout1Second(silent.Url()).error, "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));

  GarbageServer garbage;
  const Reading noise = ReadAbout1Second(garbage.Url());
  EXPECT_FALSE(noise.error.empty() && noise.video && noise.videoSeconds >= 0.9);

  LocalFilePlaylistServer local;
  EXPECT_GE(ReadAbout1Second(local.Url(), "http,tcp,hls,file").videoSeconds, 0.9);
}

}  // namespace
}  // namespace tovalen::testing
