#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tovalen {

// Calendar times and lengths as the schedule file stores them: signed 32-bit seconds.
using Time32 = std::int32_t;
using Span32 = std::int32_t;

// The wall clock in seconds since 1970-01-01 00:00:00 UTC, replaceable by tests.
class Clock {
 public:
  using Source = std::function<std::int64_t()>;

  static std::int64_t Now();
  // The wall clock in milliseconds: the source's second when one is set (a fake clock's own
  // milliseconds when it keeps them), otherwise the system clock's.
  static std::int64_t NowMs();
  // Now() narrowed to 32 bits; the schedule can only hold times up to January 2038.
  static Time32 Now32();

  // Replaces the clock source and returns the previous one; an empty source restores the system clock.
  static Source SetSource(Source source);
  // Replaces the millisecond source that NowMs prefers over Now's, returning the previous one.
  static Source SetMsSource(Source source);
};

// A test clock fixed at a chosen second, restored when the object goes.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(std::int64_t now);
  ~ScopedFakeClock();
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;

  void Set(std::int64_t now) { *m_nowMs = now * 1000; }
  void SetMs(std::int64_t nowMs) { *m_nowMs = nowMs; }
  void Advance(std::int64_t seconds) { *m_nowMs += seconds * 1000; }

 private:
  std::shared_ptr<std::int64_t> m_nowMs;
  Clock::Source m_previous;
  Clock::Source m_previousMs;
};

// The last instant a Time32 holds: 2038-01-19 03:14:07 UTC.
inline constexpr std::int64_t kLastTime32 = INT32_MAX;

// The time as a Time32, or nothing when it lies outside the 32-bit range.
std::optional<Time32> ToTime32(std::int64_t seconds);

// a + b with the wrap-around of signed 32-bit arithmetic, as the stored end time is computed.
Time32 AddWrapping32(Time32 a, Span32 b);
Span32 SubtractWrapping32(Time32 a, Time32 b);

}  // namespace tovalen
