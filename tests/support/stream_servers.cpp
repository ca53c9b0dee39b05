#include "support/stream_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <stdexcept>
#include <utility>

#include "support/wait_until.h"

namespace tovalen::testing {
namespace {

const std::string kSupportDir = TOVALEN_TEST_SUPPORT_DIR;
constexpr int kReadyLimitMs = 30000;  // python with GStreamer starts slowly on a busy machine
constexpr int kSlack = 30;            // seconds a server may outlive its signal before `timeout`

std::string Number(int value) { return std::to_string(value); }

// The ffmpeg arguments of the test source: picture, optionally tone, bounded by -t.
std::vector<std::string> SourceArgs(const StreamSignal& signal) {
  std::vector<std::string> args{
      "ffmpeg",
      "-nostdin",
      "-hide_banner",
      "-loglevel",
      "error",
      "-re",
      "-f",
      "lavfi",
      "-i",
      "testsrc2=size=" + Number(signal.width) + "x" + Number(signal.height) + ":rate=" + Number(signal.rate)};
  if (signal.sound) {
    args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000"});
  }
  args.insert(args.end(), {"-t", Number(signal.seconds)});
  return args;
}

std::vector<std::string> H264AacArgs(const StreamSignal& signal) {
  std::vector<std::string> args{"-c:v",        "libx264", "-preset",           "ultrafast", "-tune",
                                "zerolatency", "-g",      Number(signal.rate), "-pix_fmt",  "yuv420p"};
  if (signal.sound) args.insert(args.end(), {"-c:a", "aac", "-b:a", "64k"});
  return args;
}

std::vector<std::string> Joined(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

std::vector<std::string> Relay(const std::string& mode, int port, int limit) {
  return {"/usr/bin/python3", kSupportDir + "/stream_relay.py", mode, "--port", Number(port), "--limit", Number(limit)};
}

int BoundPort(int type) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool UdpPortFree(int port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return free;
}

// Starts a relay-style process and reads back its port; a port taken meanwhile by someone else is
// retried a few times with a fresh one when the caller let the process choose (port 0).
ServerProcess StartWithPort(const std::function<std::vector<std::string>(int)>& words, const std::string& log,
                            int limit, int& port) {
  for (int attempt = 0;; ++attempt) {
    ServerProcess process(words(port), log, limit);
    try {
      port = process.WaitForPort(kReadyLimitMs);
      return process;
    } catch (const std::runtime_error&) {
      if (attempt >= 2) throw;
    }
  }
}

}  // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& words, std::string log, int limit_seconds)
    : m_log(std::move(log)) {
  std::vector<std::string> all{"timeout", "--kill-after=2", Number(limit_seconds)};
  all.insert(all.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& word : all) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const int out = ::open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || in < 0) throw std::runtime_error("cannot open " + m_log);
  m_pid = ::fork();
  if (m_pid == 0) {
    ::setpgid(0, 0);
    // `timeout` passes SIGTERM on to its whole group, so a test process that dies takes it along.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(in);
  if (m_pid < 0) throw std::runtime_error("cannot fork");
  ::setpgid(m_pid, m_pid);  // also here, so that Kill() finds the group whoever runs first
}

ServerProcess::~ServerProcess() { Kill(); }

ServerProcess::ServerProcess(ServerProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_log(std::move(other.m_log)) {}

ServerProcess& ServerProcess::operator=(ServerProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    m_pid = std::exchange(other.m_pid, -1);
    m_log = std::move(other.m_log);
  }
  return *this;
}

bool ServerProcess::Running() {
  if (m_pid <= 0) return false;
  int status = 0;
  if (::waitpid(m_pid, &status, WNOHANG) == 0) return true;
  ::kill(-m_pid, SIGKILL);  // what the leader left behind
  m_pid = -1;
  return false;
}

void ServerProcess::Kill() {
  if (m_pid <= 0) return;
  ::kill(-m_pid, SIGKILL);
  ::kill(m_pid, SIGKILL);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
  m_pid = -1;
}

std::string ServerProcess::Output() const {
  std::ifstream in(m_log);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int ServerProcess::WaitForPort(int limit_ms) {
  static const std::regex kPortLine(R"((^|\n)PORT (\d+)\n)");
  std::smatch match;
  std::string output;
  const bool found = WaitUntil(
      [&] {
        output = Output();
        return std::regex_search(output, match, kPortLine) || !Running();
      },
      std::chrono::milliseconds(limit_ms), std::chrono::milliseconds(50));
  output = Output();
  if (found && std::regex_search(output, match, kPortLine)) return std::stoi(match[2].str());
  Kill();
  throw std::runtime_error("stream server did not start: " + output);
}

int FreeTcpPort() { return BoundPort(SOCK_STREAM); }

int FreeUdpPortPair() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int port = BoundPort(SOCK_DGRAM);
    if (port > 0 && port % 2 == 0 && port < 65535 && UdpPortFree(port + 1)) return port;
  }
  throw std::runtime_error("no free pair of UDP ports on 127.0.0.1");
}

// --- HTTP live streams ---

HttpStreamServer::HttpStreamServer(Format format, StreamSignal signal) : m_format(format), m_signal(signal) {
  if (m_format == Format::kMjpeg) m_signal.sound = false;
  Start();
}

std::string HttpStreamServer::Url() const {
  return "http://127.0.0.1:" + Number(m_port) + (m_format == Format::kMpegTs ? "/live.ts" : "/live.mjpg");
}

void HttpStreamServer::Stop() { m_process.Kill(); }

void HttpStreamServer::Start() {
  const int limit = m_signal.seconds + kSlack;
  std::vector<std::string> encode;
  std::vector<std::string> relay_options;
  if (m_format == Format::kMpegTs) {
    encode = Joined(H264AacArgs(m_signal), {"-f", "mpegts", "pipe:1"});
  } else {
    encode = {"-c:v", "mjpeg", "-q:v", "5", "-pix_fmt", "yuvj420p", "-f", "mpjpeg", "pipe:1"};
    relay_options = {"--content-type", "multipart/x-mixed-replace;boundary=ffmpeg", "--sync=--ffmpeg"};
  }
  const auto words = [&](int port) {
    std::vector<std::string> all = Joined(Relay("relay", port, limit), relay_options);
    all.push_back("--");
    return Joined(Joined(all, SourceArgs(m_signal)), encode);
  };
  m_process = StartWithPort(words, m_dir.File("server.log"), limit, m_port);
}

// --- HLS ---

HlsServer::HlsServer(StreamSignal signal) : m_signal(signal) { Start(); }

std::string HlsServer::Url() const { return "http://127.0.0.1:" + Number(m_port) + "/live.m3u8"; }

void HlsServer::Stop() { m_process.Kill(); }

void HlsServer::Start() {
  const int limit = m_signal.seconds + kSlack;
  const std::string folder = (m_dir.Path() / "hls").string();
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string playlist = folder + "/live.m3u8";
  const std::vector<std::string> writer =
      Joined(Joined(SourceArgs(m_signal), H264AacArgs(m_signal)),
             {"-f", "hls", "-hls_time", "1", "-hls_list_size", "6", "-hls_flags", "delete_segments",
              "-hls_segment_filename", folder + "/segment%05d.ts", playlist});
  const auto words = [&](int port) {
    return Joined(Joined(Relay("dir", port, limit), {"--dir", folder, "--"}), writer);
  };
  m_process = StartWithPort(words, m_dir.File("server.log"), limit, m_port);
  const auto segments = [&] {
    std::ifstream in(playlist);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t count = 0;
    for (std::size_t at = text.find("#EXTINF"); at != std::string::npos; at = text.find("#EXTINF", at + 1)) ++count;
    return count >= 2;
  };
  if (!WaitUntil(segments, std::chrono::milliseconds(kReadyLimitMs), std::chrono::milliseconds(50))) {
    const std::string output = m_process.Output();
    m_process.Kill();
    throw std::runtime_error("HLS writer did not start: " + output);
  }
}

// --- a playlist naming a local file ---

LocalFilePlaylistServer::LocalFilePlaylistServer() {
  StreamSignal signal;
  signal.seconds = 2;
  std::vector<std::string> make = Joined(SourceArgs(signal), H264AacArgs(signal));
  for (auto it = make.begin(); it != make.end(); ++it) {
    if (*it == "-re") {
      make.erase(it);
      break;
    }
  }
  make.insert(make.end(), {"-f", "mpegts", LocalFile()});
  ServerProcess maker(make, m_dir.File("make.log"), 60);
  if (!WaitUntil([&] { return !maker.Running(); }, std::chrono::seconds(60), std::chrono::milliseconds(50)) ||
      !std::filesystem::exists(LocalFile())) {
    throw std::runtime_error("cannot make the local file: " + maker.Output());
  }
  std::filesystem::create_directories(m_dir.Path() / "www");
  WriteFileBytes((m_dir.Path() / "www" / "live.m3u8").string(),
                 "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n"
                 "#EXTINF:2.0,\nfile://" +
                     LocalFile() + "\n#EXT-X-ENDLIST\n");
  const auto words = [&](int port) {
    return Joined(Relay("dir", port, 120), {"--dir", (m_dir.Path() / "www").string()});
  };
  m_process = StartWithPort(words, m_dir.File("server.log"), 120, m_port);
}

std::string LocalFilePlaylistServer::Url() const { return "http://127.0.0.1:" + Number(m_port) + "/live.m3u8"; }

std::string LocalFilePlaylistServer::LocalFile() const { return m_dir.File("local.ts"); }

// --- UDP and RTP ---

PacketStreamSender::PacketStreamSender(Transport transport, StreamSignal signal)
    : m_transport(transport), m_signal(signal), m_port(FreeUdpPortPair()) {
  Start();
}

std::string PacketStreamSender::Url() const {
  return (m_transport == Transport::kUdp ? "udp://127.0.0.1:" : "rtp://127.0.0.1:") + Number(m_port);
}

void PacketStreamSender::Stop() { m_process.Kill(); }

void PacketStreamSender::Start() {
  std::vector<std::string> words = Joined(SourceArgs(m_signal), H264AacArgs(m_signal));
  if (m_transport == Transport::kUdp) {
    words.insert(words.end(), {"-f", "mpegts", Url() + "?pkt_size=1316"});
  } else {
    words.insert(words.end(), {"-f", "rtp_mpegts", Url()});
  }
  m_process = ServerProcess(words, m_dir.File("sender.log"), m_signal.seconds + kSlack);
}

// --- RTSP ---

RtspServer::RtspServer(std::string user, std::string password, StreamSignal signal)
    : m_user(std::move(user)), m_password(std::move(password)), m_signal(signal) {
  Start();
}

std::string RtspServer::Url() const { return "rtsp://127.0.0.1:" + Number(m_port) + "/live"; }

std::string RtspServer::UrlWithCredentials() const {
  if (m_user.empty()) return Url();
  return "rtsp://" + m_user + ":" + m_password + "@127.0.0.1:" + Number(m_port) + "/live";
}

void RtspServer::Stop() { m_process.Kill(); }

void RtspServer::Start() {
  const int limit = m_signal.seconds + kSlack;
  const auto words = [&](int port) {
    std::vector<std::string> all{"/usr/bin/python3", kSupportDir + "/rtsp_server.py", "--port",  Number(port),
                                 "--limit",          Number(m_signal.seconds),        "--width", Number(m_signal.width),
                                 "--height",         Number(m_signal.height),         "--rate",  Number(m_signal.rate)};
    if (!m_user.empty()) all.insert(all.end(), {"--user", m_user, "--password", m_password});
    return all;
  };
  m_process = StartWithPort(words, m_dir.File("server.log"), limit, m_port);
}

// --- SRT ---

SrtServer::SrtServer(StreamSignal signal) : m_signal(signal), m_port(FreeUdpPortPair()) { Start(); }

std::string SrtServer::Url() const { return "srt://127.0.0.1:" + Number(m_port); }

void SrtServer::Stop() { m_process.Kill(); }

void SrtServer::Start() {
  // An SRT listener in ffmpeg serves one caller, so a loop listens again after each; the loop
  // ends with `timeout`.
  std::string command;
  for (const std::string& word : Joined(Joined(SourceArgs(m_signal), H264AacArgs(m_signal)),
                                        {"-f", "mpegts", Url() + "?mode=listener&latency=50000"})) {
    command += "'" + word + "' ";
  }
  m_process = ServerProcess({"sh", "-c", "while :; do " + command + "; done"}, m_dir.File("server.log"),
                            m_signal.seconds + kSlack);
}

// --- faulty servers ---

SilentServer::SilentServer() {
  const auto words = [&](int port) { return Relay("silent", port, 120); };
  m_process = StartWithPort(words, m_dir.File("server.log"), 120, m_port);
}

std::string SilentServer::Url() const { return "http://127.0.0.1:" + Number(m_port) + "/live.ts"; }

GarbageServer::GarbageServer() {
  const auto words = [&](int port) { return Relay("garbage", port, 120); };
  m_process = StartWithPort(words, m_dir.File("server.log"), 120, m_port);
}

std::string GarbageServer::Url() const { return "http://127.0.0.1:" + Number(m_port) + "/live.ts"; }

}  // namespace tovalen::testing
