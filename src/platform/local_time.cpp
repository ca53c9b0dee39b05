#include "platform/local_time.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "platform/clock.h"

namespace tovalen {

std::string FormatLocalTime(std::int64_t seconds, const char* pattern) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return {};
  char buffer[256];
  const std::size_t length = std::strftime(buffer, sizeof buffer, pattern, &tm);
  return std::string(buffer, length);
}

std::string FormatNow(const char* pattern) { return FormatLocalTime(Clock::Now(), pattern); }

std::optional<std::int64_t> MakeLocalTime(const LocalDateTime& when) {
  std::tm tm{};
  tm.tm_year = when.year - 1900;
  tm.tm_mon = when.month - 1;
  tm.tm_mday = when.day;
  tm.tm_hour = when.hour;
  tm.tm_min = when.minute;
  tm.tm_sec = when.second;
  tm.tm_isdst = -1;
  errno = 0;
  const std::time_t t = std::mktime(&tm);
  // mktime returns -1 both for failure and for 1969-12-31 23:59:59 UTC; errno tells them apart.
  if (t == static_cast<std::time_t>(-1) && errno != 0) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

std::optional<LocalDateTime> BreakDownLocalTime(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return std::nullopt;
  return LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::optional<std::int64_t> ParseLocalTime(const std::string& text) {
  // Exactly "YYYY-MM-DD HH:MM:SS": sscanf alone would take spaces, signs and one-digit fields.
  static constexpr std::string_view kForm = "dddd-dd-dd dd:dd:dd";
  if (text.size() != kForm.size()) return std::nullopt;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return std::nullopt;
  }
  LocalDateTime when;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &when.year, &when.month, &when.day, &when.hour, &when.minute,
                  &when.second) != 6) {
    return std::nullopt;
  }
  const auto seconds = MakeLocalTime(when);
  if (!seconds) return std::nullopt;
  // mktime normalises 2026-02-30 into March; such a date was not a real one.
  const auto back = BreakDownLocalTime(*seconds);
  if (!back || back->year != when.year || back->month != when.month || back->day != when.day ||
      back->minute != when.minute || back->second != when.second) {
    return std::nullopt;
  }
  return seconds;
}

}  // namespace tovalen
