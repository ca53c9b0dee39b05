#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <nlohmann/json.hpp>

#include "web/web_api.h"
#include "web/web_time.h"

namespace tovalen::web {
namespace {

struct FileFacts {
  std::uint64_t bytes = 0;
  std::int64_t lengthSeconds = 0;
};

std::uint32_t LittleEndian32(const unsigned char* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The size, and the playing length the AVI's main header gives (frames times frame period).
std::optional<FileFacts> Examine(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  struct stat info {};
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  FileFacts facts{static_cast<std::uint64_t>(info.st_size), 0};
  std::array<unsigned char, 56> head{};
  if (::pread(fd.get(), head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
      std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "AVI ", 4) == 0 &&
      std::memcmp(head.data() + 24, "avih", 4) == 0) {
    const std::uint64_t microSecPerFrame = LittleEndian32(head.data() + 32);
    const std::uint64_t frames = LittleEndian32(head.data() + 48);
    facts.lengthSeconds = static_cast<std::int64_t>((microSecPerFrame * frames + 500'000) / 1'000'000);
  }
  return facts;
}

}  // namespace

std::int64_t RecordedLengthSeconds(const std::string& path) {
  const auto facts = Examine(path);
  return facts ? facts->lengthSeconds : 0;
}

namespace {

const char* StateText(const std::string& state) {
  if (state == "waiting") return "待機中";
  if (state == "recording") return "録画中";
  if (state == "recorded") return "録画済み";
  if (state == "failed") return "失敗";
  return "見送り";
}

}  // namespace

nlohmann::json ReservationJson(const SYoyaku& yoyaku, const LiveSnapshot& live, std::int64_t now) {
  const std::int64_t start = yoyaku.timeStart;
  const std::int64_t end = start + yoyaku.spanDuration;
  std::string state = "waiting";
  std::string reason;
  const RecordingProgress* progress = nullptr;
  std::optional<FileFacts> facts;
  if (live.current && live.current->start == start) {
    state = "recording";
    progress = &*live.current;
    facts = Examine(progress->file);
    if (facts) facts->lengthSeconds = 0;
  } else if (const auto done = live.finished.find(start); done != live.finished.end()) {
    progress = &done->second;
    state = progress->failed ? "failed" : "recorded";
    reason = progress->reason;
    if (!progress->failed) facts = Examine(progress->file);
  } else if (end <= now) {
    facts = Examine(yoyaku.strFileName);
    state = facts ? "recorded" : "dropped";
    if (!facts) reason = "録画されないまま終了時刻を過ぎました。";
  }
  return {
      {"start", FormatWebTime(start)},
      {"end", FormatWebTime(end)},
      {"seconds", yoyaku.spanDuration},
      {"file", progress && !progress->file.empty() ? progress->file : yoyaku.strFileName},
      {"title", yoyaku.strTitle},
      {"state", state},
      {"stateText", StateText(state)},
      {"reason", reason},
      {"elapsedMs", progress ? progress->elapsedMs : 0},
      {"frames", progress ? progress->frames : 0},
      {"drops", progress ? progress->drops : 0},
      {"bytes", facts ? facts->bytes : 0},
      {"lengthSeconds", facts ? facts->lengthSeconds : 0},
  };
}

}  // namespace tovalen::web
