#include <fcntl.h>
#include <gmock/gmock.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "avi_probe.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "support/stream_servers.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

extern char** environ;

namespace tovalen::testing {
namespace {

using std::chrono::seconds;
using ::testing::AllOf;
using ::testing::Ge;
using ::testing::HasSubstr;
using ::testing::Le;
using ::testing::Not;

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

template <typename Server, typename... Args>
std::function<std::shared_ptr<void>(std::string&)> Starting(Args... args) {
  return [=](std::string& url) {
    auto server = std::make_shared<Server>(args...);
    url = server->Url();
    return std::shared_ptr<void>(server);
  };
}

// --- tovalen-rec against the servers ---

// One tovalen-rec settings folder per case, so that cases record side by side, each with its
// stream at the same place in the device list.
class Rec {
 public:
  struct Result {
    int status = -1;  // -1: it did not end in time and was killed
    std::string out;
    std::string err;
    double seconds = 0;
  };
  struct Running {
    pid_t pid = -1;
    std::string out;
    std::string err;
    std::chrono::steady_clock::time_point started;
  };

  Rec(const TempDir& dir, const std::string& name) : m_folder(dir.File(name)) {
    std::filesystem::create_directories(m_folder + "/config");
  }

  std::string File(const std::string& name) const { return m_folder + "/" + name; }

  Running Start(const std::vector<std::string>& args) {
    const std::string stem = File("call" + std::to_string(++m_calls));
    Running running{-1, stem + ".out", stem + ".err", std::chrono::steady_clock::now()};
    std::vector<std::string> words{TOVALEN_REC_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + m_folder + "/config"};
    for (char** variable = environ; *variable != nullptr; ++variable) {
      if (std::string(*variable).rfind("XDG_CONFIG_HOME=", 0) != 0) env.emplace_back(*variable);
    }
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (std::string& word : words) argv.push_back(word.data());
    for (std::string& variable : env) envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, running.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, running.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::posix_spawn(&running.pid, argv[0], &files, nullptr, argv.data(), envp.data()) != 0) running.pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return running;
  }

  static Result Finish(const Running& running, seconds limit) {
    Result result;
    int status = 0;
    const bool ended =
        running.pid > 0 && WaitUntil([&] { return ::waitpid(running.pid, &status, WNOHANG) == running.pid; }, limit,
                                     std::chrono::milliseconds(20));
    if (!ended && running.pid > 0) {
      ::kill(running.pid, SIGKILL);
      ::waitpid(running.pid, &status, 0);
    }
    if (ended) result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - running.started).count();
    result.out = ReadFileBytes(running.out);
    result.err = ReadFileBytes(running.err);
    return result;
  }

  Result Run(const std::vector<std::string>& args, seconds limit = seconds(60)) { return Finish(Start(args), limit); }

  // Adds the stream and returns its device index as `devices` lists it.
  std::string AddStream(const std::string& name, const std::string& url) {
    const Result added = Run({"source", "add", name, url});
    EXPECT_EQ(added.status, 0) << added.err;
    const Result listed = Run({"devices"});
    std::smatch match;
    const std::regex line("(^|\n)([0-9]+), " + name + "(,|\n)");
    if (!std::regex_search(listed.out, match, line)) {
      ADD_FAILURE() << "stream " << name << " not among the devices:\n" << listed.out << listed.err;
      return "9";
    }
    return match[2].str();
  }

  Running Record(const std::string& device, const std::string& file, int lengthSeconds, bool trace = false) {
    std::vector<std::string> args{
        "record", "--device", device, "--file", File(file), "--length", std::to_string(lengthSeconds)};
    if (trace) args.insert(args.begin(), "--trace");
    return Start(args);
  }

 private:
  std::string m_folder;
  int m_calls = 0;
};

// A stream of a recorded file: its codec and the time it spans (from the first packet's start to
// the last one's end, in seconds).
struct Track {
  std::string codec;
  double start = NAN;
  double end = NAN;
  int packets = 0;
  double Span() const { return packets > 0 ? end - start : 0; }
};

struct Recorded {
  std::string error;
  unsigned streams = 0;
  Track video;
  Track audio;
};

Recorded ReadRecorded(const std::string& path) {
  Recorded recorded;
  AVFormatContext* raw = nullptr;
  if (const int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); rc < 0) {
    recorded.error = "cannot open " + path + ": " + std::to_string(rc);
    return recorded;
  }
  ffmpeg::InputContextPtr input(raw);
  avformat_find_stream_info(input.get(), nullptr);
  recorded.streams = input->nb_streams;
  const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int audio = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (video >= 0) recorded.video.codec = avcodec_get_name(input->streams[video]->codecpar->codec_id);
  if (audio >= 0) recorded.audio.codec = avcodec_get_name(input->streams[audio]->codecpar->codec_id);
  ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    Track* track = packet->stream_index == video   ? &recorded.video
                   : packet->stream_index == audio ? &recorded.audio
                                                   : nullptr;
    const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (track != nullptr && at != AV_NOPTS_VALUE && packet->size > 0) {
      const double base = av_q2d(input->streams[packet->stream_index]->time_base);
      const double start = static_cast<double>(at) * base;
      const double end = static_cast<double>(at + std::max<std::int64_t>(packet->duration, 0)) * base;
      track->start = track->packets == 0 ? start : std::min(track->start, start);
      track->end = track->packets == 0 ? end : std::max(track->end, end);
      ++track->packets;
    }
    av_packet_unref(packet.get());
  }
  return recorded;
}

// What a recording of `length` seconds of a 25 frames a second stream must hold: the picture over
// the length and, when an audio codec is given, the stream's sound over the same time; nothing else.
void ExpectRecordedFor(const std::string& path, double length, const std::string& videoCodec,
                       const std::string& audioCodec) {
  const bool sound = !audioCodec.empty();
  SCOPED_TRACE(path);
  const Recorded recorded = ReadRecorded(path);
  ASSERT_EQ(recorded.error, "");
  EXPECT_EQ(recorded.streams, sound ? 2u : 1u);
  EXPECT_EQ(recorded.video.codec, videoCodec);
  EXPECT_THAT(recorded.video.Span(), AllOf(Ge(length - 0.8), Le(length + 1.5)));
  EXPECT_GE(recorded.video.packets, recorded.video.Span() * 25 * 0.5);
  if (sound) {
    EXPECT_EQ(recorded.audio.codec, audioCodec);
    EXPECT_NEAR(recorded.audio.Span(), recorded.video.Span(), 0.5);
  }
}

struct Target {
  std::string file;
  std::string video;  // the codec the file must hold
  std::string audio;  // none: no sound
};

struct ProtocolCase {
  const char* name;
  std::function<std::shared_ptr<void>(std::string& url)> start;
  std::vector<Target> targets;
};

// Every protocol records into AVI, its picture re-encoded with the device's codec and its own sound;
// an HTTP MPEG-TS stream is also copied as it comes into .ts, .mkv and .mp4. All record at once.
TEST(StreamRecording, EachProtocolRecordsAndCopiesKeepTheStreamsCodec) {
  using Format = HttpStreamServer::Format;
  using Transport = PacketStreamSender::Transport;
  const Target avi{"out.avi", "mjpeg", "pcm_s16le"};
  std::vector<ProtocolCase> cases{
      {"http-ts",
       Starting<HttpStreamServer>(Format::kMpegTs),
       {avi, {"copy.ts", "h264", "aac"}, {"copy.mkv", "h264", "aac"}, {"copy.mp4", "h264", "aac"}}},
      {"mjpeg", Starting<HttpStreamServer>(Format::kMjpeg), {{"out.avi", "mjpeg", ""}}},
      {"hls", Starting<HlsServer>(), {avi}},
      {"udp", Starting<PacketStreamSender>(Transport::kUdp), {avi}},
      {"rtp", Starting<PacketStreamSender>(Transport::kRtp), {avi}},
      {"rtsp", Starting<RtspServer>(), {avi}},
      {"srt", Starting<SrtServer>(), {avi}},
  };
  constexpr int kLength = 3;
  TempDir dir;
  std::vector<std::shared_ptr<void>> servers;
  std::vector<std::unique_ptr<Rec>> recs;
  std::vector<std::pair<std::string, Rec::Running>> runs;
  for (const ProtocolCase& c : cases) {
    std::string url;
    servers.push_back(c.start(url));
    recs.push_back(std::make_unique<Rec>(dir, c.name));
    const std::string device = recs.back()->AddStream(c.name, url);
    for (const Target& target : c.targets)
      runs.emplace_back(c.name + std::string("/") + target.file, recs.back()->Record(device, target.file, kLength));
  }
  std::size_t run = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    for (const Target& target : cases[i].targets) {
      SCOPED_TRACE(runs[run].first);
      const Rec::Result result = Rec::Finish(runs[run++].second, seconds(60));
      EXPECT_EQ(result.status, 0) << result.out << result.err;
      ExpectRecordedFor(recs[i]->File(target.file), kLength, target.video, target.audio);
    }
  }
}

// A server killed mid-recording and started again: the recording goes on, the reconnect is
// counted and shown, the time the server was away stays a gap, and sound stays with picture.
TEST(StreamRecording, AServerKilledAndRestartedLeavesAGapAndACountedReconnect) {
  constexpr int kLength = 12;  // room for a server that takes seconds to start again on a busy machine
  HttpStreamServer server(HttpStreamServer::Format::kMpegTs);
  TempDir dir;
  Rec rec(dir, "restart");
  const std::string device = rec.AddStream("news", server.Url());
  const Rec::Running running = rec.Record(device, "news.avi", kLength, true);
  // Away once the recording has its first frames, however slowly the machine started it.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto left = FilesContaining(rec.File(""), "news.recording-");
        return left.size() == 1 && std::filesystem::file_size(left[0]) > 20'000;
      },
      seconds(30), std::chrono::milliseconds(50)));
  server.Stop();
  const auto away = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the gap to be kept
  server.Start();
  const double awaySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - away).count();
  const Rec::Result result = Rec::Finish(running, seconds(60));
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_THAT(result.out, ::testing::ContainsRegex("reconnect"));
  EXPECT_THAT(result.err, ::testing::ContainsRegex("reconnect"));

  const ProbedFile file = ProbeFile(rec.File("news.avi"));
  ASSERT_TRUE(file.video.has_value()) << file.error;
  const double rate = file.video->frameRate;
  const double span = static_cast<double>(file.video->frameSlots) / rate;
  EXPECT_THAT(span, AllOf(Ge(kLength - 1.0), Le(kLength + 1.5)));
  // The time away holds no frames, and what came after it stands at its time.
  EXPECT_LE(static_cast<double>(file.video->chunks), (span - awaySeconds + 0.5) * rate);
  EXPECT_GE(static_cast<double>(file.video->chunks), (span - awaySeconds - 3.0) * rate * 0.5);
  EXPECT_NEAR(SoundPastPicture(file), 0.0, 0.3);
}

// A server that never answers, one that answers with garbage and a playlist that names a file on
// this machine: each recording fails in bounded time with one clear line naming the stream, and
// leaves nothing that looks like a recording. All fail at once.
TEST(StreamRecording, SilentGarbageAndLocalFileServersFailInTimeWithAClearMessage) {
  SilentServer silent;
  GarbageServer garbage;
  LocalFilePlaylistServer local;
  TempDir dir;
  const std::pair<const char*, std::string> failing[] = {
      {"silent", silent.Url()}, {"garbage", garbage.Url()}, {"local", local.Url()}};
  std::vector<std::unique_ptr<Rec>> recs;
  std::vector<Rec::Running> runs;
  for (const auto& [name, url] : failing) {
    recs.push_back(std::make_unique<Rec>(dir, name));
    runs.push_back(recs.back()->Record(recs.back()->AddStream(name, url), "out.avi", 3));
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(failing[i].first);
    const Rec::Result result = Rec::Finish(runs[i], seconds(60));
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_LT(result.seconds, 30.0);
    EXPECT_THAT(result.err, HasSubstr("127.0.0.1"));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(ReadRecorded(recs[i]->File("out.avi")).video.packets, 0);
  }
  // What was refused was readable: a reader that allows files reads the local file through it.
  EXPECT_GE(ReadAbout1Second(local.Url(), "http,tcp,hls,file").videoSeconds, 0.9);
}

// A stream's password appears in no output: not in the list of streams, the devices, a recording
// with its trace, nor the failure a wrong password brings.
TEST(StreamRecording, CredentialsNeverAppear) {
  RtspServer server("viewer", "pa55-Word-7");
  const std::string wrong = "rtsp://viewer:Wr0ng-Secret@" + server.Url().substr(7);
  TempDir dir;
  Rec rec(dir, "camera");
  const std::string device = rec.AddStream("door", server.UrlWithCredentials());
  const std::string wrongDevice = rec.AddStream("gate", wrong);
  std::vector<Rec::Result> results{rec.Run({"source", "list"}), rec.Run({"devices"}),
                                   rec.Run({"--trace", "device", device})};
  const Rec::Running good = rec.Record(device, "door.avi", 2, true);
  const Rec::Running bad = rec.Record(wrongDevice, "gate.avi", 2, true);
  results.push_back(Rec::Finish(good, seconds(60)));
  results.push_back(Rec::Finish(bad, seconds(60)));
  EXPECT_EQ(results[3].status, 0) << results[3].err;
  EXPECT_EQ(results[4].status, 1) << results[4].err;
  EXPECT_THAT(results[0].out, HasSubstr("rtsp://***@127.0.0.1:"));
  for (const Rec::Result& result : results) {
    EXPECT_THAT(result.out + result.err, AllOf(Not(HasSubstr("pa55-Word-7")), Not(HasSubstr("Wr0ng-Secret"))));
  }
  ExpectRecordedFor(rec.File("door.avi"), 2, "mjpeg", "pcm_s16le");
}

}  // namespace
}  // namespace tovalen::testing
