#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovalen {

// Formats seconds since the epoch in local time with a strftime pattern.
// Returns an empty string when the time cannot be converted to local time.
std::string FormatLocalTime(std::int64_t seconds, const char* pattern);

// The current local time with a strftime pattern (the time stamps in traces).
std::string FormatNow(const char* pattern);

// Local calendar fields, as a calendar control and a time picker give them.
struct LocalDateTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Seconds since the epoch for a local date and time (daylight saving left to the zone rules),
// or nothing when the C library cannot represent it.
std::optional<std::int64_t> MakeLocalTime(const LocalDateTime& when);

// The local calendar fields of a time, or nothing when it cannot be converted.
std::optional<LocalDateTime> BreakDownLocalTime(std::int64_t seconds);

// Parses exactly "YYYY-MM-DD HH:MM:SS" (local time, two-digit fields, nothing around it).
// The fields must be a real date and time.
std::optional<std::int64_t> ParseLocalTime(const std::string& text);

}  // namespace tovalen
