#include "platform/clock.h"

#include <ctime>
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

}  // namespace

std::int64_t Clock::Now() {
  Source source;
  {
    std::lock_guard lock(SourceMutex());
    source = CurrentSource();
  }
  if (source) return source();
  return static_cast<std::int64_t>(std::time(nullptr));
}

Time32 Clock::Now32() { return static_cast<Time32>(Now()); }

Clock::Source Clock::SetSource(Source source) {
  std::lock_guard lock(SourceMutex());
  Source previous = std::move(CurrentSource());
  CurrentSource() = std::move(source);
  return previous;
}

ScopedFakeClock::ScopedFakeClock(std::int64_t now)
    : m_now(std::make_shared<std::int64_t>(now)), m_previous(Clock::SetSource([value = m_now] { return *value; })) {}

ScopedFakeClock::~ScopedFakeClock() { Clock::SetSource(std::move(m_previous)); }

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
