#include "schedule/yoyaku_repeat.h"

#include <cstdio>

#include "platform/local_time.h"
#include "schedule/yoyaku_working_list.h"

namespace tovalen {
namespace {

int DaysBetweenOccurrences(YoyakuRepeat repeat) { return repeat == YoyakuRepeat::kWeekly ? 7 : 1; }

bool IsWeekend(std::int64_t seconds) {
  const std::string weekday = FormatLocalTime(seconds, "%w");  // 0 = Sunday
  return weekday == "0" || weekday == "6";
}

}  // namespace

std::string DatedFileName(const std::string& fileName, int year, int month, int day) {
  char date[16];
  std::snprintf(date, sizeof date, "_%04d-%02d-%02d", year, month, day);
  // The extension is the last dot of the last path element, unless that element starts with it.
  const std::size_t element = fileName.find_last_of("/\\");
  const std::size_t base = element == std::string::npos ? 0 : element + 1;
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot <= base) return fileName + date;
  return fileName.substr(0, dot) + date + fileName.substr(dot);
}

std::optional<std::vector<SYoyaku>> ExpandRepeat(const SYoyaku& first, YoyakuRepeat repeat, int count) {
  if (repeat == YoyakuRepeat::kNone) return std::vector<SYoyaku>{first};
  if (count < kMinRepeatCount || count > kMaxRepeatCount) return std::nullopt;
  const auto first_local = BreakDownLocalTime(first.timeStart);
  if (!first_local) return std::nullopt;

  std::vector<SYoyaku> occurrences;
  // Each date is counted from the first on the local calendar (not in 86400 s steps), so the
  // time of day holds across a daylight-saving change.
  for (int offset = 0; static_cast<int>(occurrences.size()) < count; offset += DaysBetweenOccurrences(repeat)) {
    LocalDateTime when = *first_local;
    when.day += offset;
    const auto start = MakeLocalTime(when);
    const auto date = start ? BreakDownLocalTime(*start) : std::nullopt;
    if (!date) return std::nullopt;
    if (repeat == YoyakuRepeat::kWeekdays && IsWeekend(*start)) continue;
    const auto start32 = ToTime32(*start);
    if (!start32 || *start + first.spanDuration > kLastTime32) return std::nullopt;
    SYoyaku occurrence = first;
    occurrence.timeStart = *start32;
    occurrence.strFileName = DatedFileName(first.strFileName, date->year, date->month, date->day);
    occurrences.push_back(std::move(occurrence));
  }
  return occurrences;
}

std::string RepeatOverlapMessage(const SYoyaku& occurrence, const SYoyaku& other) {
  return std::string(kOverlapMessage) + ": " + occurrence.GetListText() + " / " + other.GetListText();
}

}  // namespace tovalen
