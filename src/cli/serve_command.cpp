#include "cli/serve_command.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "capture/capture_listener.h"
#include "cli/cli_capture.h"
#include "cli/cli_command.h"
#include "cli/command_line.h"
#include "cli/followed_schedule_file.h"
#include "cli/run_command.h"
#include "cli/schedule_run.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/user_folders.h"
#include "web/http_server.h"
#include "web/password_file.h"
#include "web/static_assets.h"

namespace tovalen::cli {
namespace {

constexpr const char* kDefaultListen = "127.0.0.1:8080";
// Far above any PEM certificate chain or key.
constexpr std::size_t kMaxPemBytes = 1024 * 1024;
// How often the progress the web sees is brought up to date during a recording.
constexpr std::chrono::milliseconds kProgressInterval{250};

// --allow may be given several times, unlike the options CommandLine reads, so it is taken out first.
std::vector<std::string> TakeAllowed(std::vector<std::string>& args) {
  std::vector<std::string> folders;
  for (auto word = args.begin(); word != args.end();) {
    if (*word != "--allow") {
      ++word;
      continue;
    }
    if (word + 1 == args.end()) throw UsageError("option --allow needs a folder");
    folders.push_back(*(word + 1));
    word = args.erase(word, word + 2);
  }
  return folders;
}

// The user's videos folder; never the whole home folder, which is what is left without one.
std::string DefaultAllowedFolder() {
  const std::string videos = UserVideosFolder();
  std::error_code error;
  const char* home = std::getenv("HOME");
  if (videos.empty() || (home && std::filesystem::equivalent(videos, home, error))) {
    throw UsageError("no videos folder is known: give the folder recordings may go to with --allow DIR");
  }
  return videos;
}

std::optional<web::Tls> TlsFromOptions(const CommandLine& line) {
  if (line.Has("cert") != line.Has("key")) throw UsageError("give both --cert and --key, or neither");
  if (!line.Has("cert")) return std::nullopt;
  try {
    return web::Tls{ReadWholeFile(*line.Option("cert"), kMaxPemBytes),
                    ReadWholeFile(*line.Option("key"), kMaxPemBytes)};
  } catch (const FileError& error) {
    throw UsageError(error.what());
  }
}

std::optional<std::string> PasswordHash() {
  try {
    return web::LoadPasswordHash(web::PasswordFilePath());
  } catch (const std::runtime_error& error) {
    throw UsageError(error.what());
  }
}

// The reservation the runner is starting now: the latest one whose span holds this second.
std::optional<SYoyaku> DueNow(const std::vector<SYoyaku>& reservations) {
  const std::int64_t now = Clock::Now();
  std::optional<SYoyaku> due;
  for (const SYoyaku& yoyaku : reservations) {
    if (yoyaku.timeStart <= now + 1 && std::int64_t{yoyaku.GetEndTime()} > now) due = yoyaku;
  }
  return due;
}

// Brings what the capture does to the web's live state, the progress a few times a second.
class LiveCaptureListener : public CaptureListener {
 public:
  LiveCaptureListener(web::LiveState& live, CliCapture& capture) : m_live(live), m_capture(capture) {}

  void OnCaptureStarted(const CaptureProgress& progress) override {
    m_live.CaptureStarted(progress.fileName);
    m_lastUpdate.reset();
  }
  void OnCaptureProgress(const CaptureProgress& progress) override {
    const auto now = std::chrono::steady_clock::now();
    if (m_lastUpdate && now - *m_lastUpdate < kProgressInterval) return;
    m_lastUpdate = now;
    m_live.Progress(progress.elapsedMs, progress.frames, Drops());
  }
  void OnCaptureEnded() override {
    if (m_capture.latestPicture) m_capture.latestPicture->Clear();
  }

 private:
  std::optional<std::int64_t> Drops() {
    const auto status = m_capture.driver.GetStatus(m_capture.controller.GetCaptureWindow());
    if (!status) return std::nullopt;
    return status->dwCurrentVideoFramesDropped;
  }

  web::LiveState& m_live;
  CliCapture& m_capture;
  std::optional<std::chrono::steady_clock::time_point> m_lastUpdate;
};

// Clears the listener when the run ends, however it ends.
struct ScopedListener {
  ScopedListener(CVideoCap& cap, CaptureListener& listener) : cap(cap) { cap.SetCaptureListener(&listener); }
  ~ScopedListener() { cap.SetCaptureListener(nullptr); }
  CVideoCap& cap;
};

std::string ReadPasswordLine(std::istream& in) {
  termios saved{};
  const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::cerr << "password: " << std::flush;
  }
  std::string line;
  std::getline(in, line);
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::cerr << std::endl;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

int Serve(const std::vector<std::string>& arguments, std::ostream& out) {
  std::vector<std::string> args = arguments;
  std::vector<std::string> allowed = TakeAllowed(args);
  const CommandLine line(args, {"listen", "cert", "key"});
  const std::string path = line.Positional(1, "FILE")[0];
  const std::string listenText = line.Option("listen").value_or(kDefaultListen);
  const auto address = web::ParseListenAddress(listenText);
  if (!address)
    throw UsageError("--listen \"" + listenText + "\" must be ADDRESS:PORT, e.g. 127.0.0.1:8080 or [::1]:8080");
  const auto passwordHash = PasswordHash();
  if (!web::IsLoopback(*address) && !passwordHash) {
    throw UsageError("listening on " + listenText +
                     " needs a password: set one with tovalen-rec serve-password (only 127.0.0.1 and ::1 go without)");
  }
  const auto tls = TlsFromOptions(line);
  if (allowed.empty()) allowed.push_back(DefaultAllowedFolder());
  std::optional<web::AllowedFolders> folders;
  try {
    folders.emplace(allowed);
  } catch (const std::runtime_error& error) {
    throw UsageError(error.what());
  }

  FollowedScheduleFile file(path, out);
  ScheduleFileContents contents;
  try {
    contents = file.Read();
  } catch (const FileError& error) {
    throw UsageError(error.what());
  } catch (const ScheduleFileError& error) {
    throw UsageError(error.what());
  }
  CliCapture& capture = InstalledCapture();
  CVideoCap& cap = capture.controller;
  cap.SetCaptureSettings(contents.settings);
  if (contents.settings.videoOption.PersistentConnect) ConnectForTheWholeRun(cap);
  if (!cap.IsReadyToRecord()) throw UsageError("キャプチャデバイスを選択してください");

  web::LiveState live;
  live.SetDevice(contents.settings.iCapDriverId);
  const web::ScheduleEditor editor(path, *folders, &InstalledTargetCheck());
  web::WebApi api({editor, *folders, live, capture.latestPicture, passwordHash, web::FindWebAssets()});
  std::optional<web::HttpServer> server;
  try {
    server.emplace(api, *address, tls);
  } catch (const std::runtime_error& error) {
    throw OperationError(error.what());
  }
  const std::string host = address->host.find(':') != std::string::npos ? "[" + address->host + "]" : address->host;
  out << "serving on " << (tls ? "https" : "http") << "://" << host << ":" << server->Port() << "/" << std::endl;

  LiveCaptureListener listener(live, capture);
  const ScopedListener listening(cap, listener);
  ScheduleRunWatch watch;
  watch.keepWaiting = true;
  watch.shown = [&](const RunnerDisplay& display) {
    if (display.state == RunnerState::kStarting) {
      try {
        const ScheduleFileContents now = editor.Read();
        live.SetDevice(now.settings.iCapDriverId);
        if (const auto due = DueNow(now.reservations)) live.Starting(due->timeStart, due->strFileName);
      } catch (const std::exception&) {
        // The file cannot be read just now: the recording goes on, only the web misses its start.
      }
    }
    live.Show(display);
  };
  CYoyakuSchedule schedule;
  schedule.ReplaceAll(std::move(contents.reservations));
  ScopedTerminationSignals signals(capture.plainLoop);
  const ScheduleRunResult result = RunSchedule(
      std::move(schedule), capture.loop, ReadingsOf(capture), out, LateStart::kRecordRemainder,
      [&file] { return file.TakeChange(); }, path, watch);
  out << "stopped: " << result.recorded << " recorded, " << result.failed << " failed" << std::endl;
  return kExitSuccess;
}

int ServePassword(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine(args, {}).Positional(0, "");
  const auto file = web::PasswordFilePath();
  if (file.empty()) throw UsageError("no configuration folder is known: set HOME or XDG_CONFIG_HOME");
  const std::string password = ReadPasswordLine(std::cin);
  if (password.size() < 8) throw UsageError("the password must be at least 8 characters long");
  try {
    web::StorePassword(file, password);
  } catch (const std::runtime_error& error) {
    throw OperationError(error.what());
  }
  out << "password stored in " << file.string() << std::endl;
  return kExitSuccess;
}

}  // namespace tovalen::cli
