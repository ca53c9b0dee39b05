#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

namespace tovalen::cli {

// One-shot timers by id, due at instants of the wall clock: the reservations they stand for
// start at wall-clock times, so a suspend or a clock change does not make them late.
class TimerQueue {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  // Arms the timer, replacing one armed with the same id.
  void Arm(std::uint32_t id, TimePoint due);
  void Kill(std::uint32_t id) { m_timers.erase(id); }
  bool Empty() const { return m_timers.empty(); }
  // When the first timer falls due, or nothing when none is armed.
  std::optional<TimePoint> NextDue() const;
  // Disarms and returns the timer that fell due first by `now` (the earlier armed on a tie).
  std::optional<std::uint32_t> TakeDue(TimePoint now);

 private:
  struct Entry {
    TimePoint due;
    std::uint64_t order;
  };
  std::map<std::uint32_t, Entry>::const_iterator First() const;

  std::map<std::uint32_t, Entry> m_timers;
  std::uint64_t m_armings = 0;
};

}  // namespace tovalen::cli
