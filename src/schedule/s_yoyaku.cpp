#include "schedule/s_yoyaku.h"

#include "platform/cp932.h"
#include "platform/local_time.h"
#include "schedule/archive.h"

namespace tovalen {
namespace {

constexpr const char* kListTimePattern = "%Y/%m/%d(%a) %H:%M:%S";

// Cuts a list line to what the line buffer holds, never inside a character.
std::string LimitListText(const std::string& line) { return TruncateUtf8AsCp932(line, kMaxListTextBytes); }

}  // namespace

SYoyaku::SYoyaku()
    : timeStart(Clock::Now32()), spanDuration(0), strTitle(kDefaultYoyakuTitle), strFileName(kDefaultYoyakuFileName) {}

std::string SYoyaku::GetListText() const {
  std::string line = FormatLocalTime(timeStart, kListTimePattern);
  line += " ～ ";
  line += FormatLocalTime(GetEndTime(), kListTimePattern);
  line += ", ";
  line += strFileName;
  line += ", ";
  line += strTitle;
  return LimitListText(line);
}

void SYoyaku::Serialize(ArchiveWriter& archive) const {
  archive.WriteInt32(timeStart);
  archive.WriteInt32(GetEndTime());
  archive.WriteString(strTitle);
  archive.WriteString(strFileName);
}

void SYoyaku::Serialize(ArchiveReader& archive) {
  const Time32 start = archive.ReadInt32();
  const Time32 end = archive.ReadInt32();
  std::string title = archive.ReadString();
  std::string file_name = archive.ReadString();
  // Applied only once the whole entry was read.
  timeStart = start;
  spanDuration = SubtractWrapping32(end, start);  // an end before the start loads as a negative length
  strTitle = std::move(title);
  strFileName = std::move(file_name);
}

bool SYoyaku::IsPast() const { return static_cast<std::int64_t>(timeStart) < Clock::Now(); }

bool SYoyaku::IsOverlapped(const SYoyaku& other) const {
  // Ends are compared as 64-bit values so a span reaching past 2038 cannot wrap into the past.
  const auto end_of = [](const SYoyaku& y) { return std::int64_t{y.timeStart} + y.spanDuration; };
  if (timeStart < other.timeStart) return other.timeStart < end_of(*this);
  return timeStart < end_of(other);
}

bool IsEarlierStart(const SYoyaku& a, const SYoyaku& b) { return a.timeStart < b.timeStart; }

}  // namespace tovalen
