#pragma once

#include <optional>
#include <string>
#include <vector>

#include "schedule/s_yoyaku.h"

namespace tovalen {

// How a reservation repeats; a repeat is expanded into ordinary reservations before it is
// added, so the file holds nothing new.
enum class YoyakuRepeat {
  kNone,
  kDaily,
  kWeekly,
  kWeekdays,  // Monday to Friday
};

inline constexpr int kMinRepeatCount = 1;
inline constexpr int kMaxRepeatCount = 52;

// The occurrences of `first` repeated `count` times (kNone: `first` alone, unchanged). Each
// keeps the title and the length and records into the file name with its local start date
// before the extension. Days are counted on the local calendar, so the time of day holds across
// a daylight-saving change. Weekdays start at the first weekday on or after `first`'s date.
// Nothing when an occurrence cannot be stored (past 2038) or count lies outside 1-52.
std::optional<std::vector<SYoyaku>> ExpandRepeat(const SYoyaku& first, YoyakuRepeat repeat, int count);

// "news.avi" -> "news_2026-12-24.avi"; a name without an extension gets the date at its end.
std::string DatedFileName(const std::string& fileName, int year, int month, int day);

// The overlap message naming the first clash, on one line: the occurrence, then what it meets.
std::string RepeatOverlapMessage(const SYoyaku& occurrence, const SYoyaku& other);

}  // namespace tovalen
