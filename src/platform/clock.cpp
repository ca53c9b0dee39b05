#include "platform/clock.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace tovalen {
namespace {

std::mutex& SourceMutex() {
  static std::mutex mutex;
  return mutex;
}

Clock::Source& CurrentSource() {
  static Clock::Source source;
  return source;
}

Clock::Source& CurrentMsSource() {
  static Clock::Source source;
  return source;
}

Clock::Source Replace(Clock::Source& slot, Clock::Source source) {
  std::lock_guard lock(SourceMutex());
  Clock::Source previous = std::move(slot);
  slot = std::move(source);
  return previous;
}

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
  return value / divisor - (value % divisor < 0 ? 1 : 0);
}

}  // namespace

std::int64_t Clock::Now() {
  Source source;
  {
    std::lock_guard lock(SourceMutex());
    source = CurrentSource();
  }
  if (source) return source();
  // The same clock as NowMs, which time() need not be (it may read a coarser one).
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::int64_t Clock::NowMs() {
  Source msSource;
  Source source;
  {
    std::lock_guard lock(SourceMutex());
    msSource = CurrentMsSource();
    source = CurrentSource();
  }
  if (msSource) return msSource();
  if (source) return source() * 1000;
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Time32 Clock::Now32() { return static_cast<Time32>(Now()); }

Clock::Source Clock::SetSource(Source source) { return Replace(CurrentSource(), std::move(source)); }

Clock::Source Clock::SetMsSource(Source source) { return Replace(CurrentMsSource(), std::move(source)); }

ScopedFakeClock::ScopedFakeClock(std::int64_t now)
    : m_nowMs(std::make_shared<std::int64_t>(now * 1000)),
      m_previous(Clock::SetSource([value = m_nowMs] { return FloorDiv(*value, 1000); })),
      m_previousMs(Clock::SetMsSource([value = m_nowMs] { return *value; })) {}

ScopedFakeClock::~ScopedFakeClock() {
  Clock::SetMsSource(std::move(m_previousMs));
  Clock::SetSource(std::move(m_previous));
}

std::optional<Time32> ToTime32(std::int64_t seconds) {
  if (seconds < INT32_MIN || seconds > INT32_MAX) return std::nullopt;
  return static_cast<Time32>(seconds);
}

Time32 AddWrapping32(Time32 a, Span32 b) {
  // Unsigned addition wraps without undefined behaviour; the conversion back is modular in C++20.
  return static_cast<Time32>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

Span32 SubtractWrapping32(Time32 a, Time32 b) {
  return static_cast<Span32>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

}  // namespace tovalen
