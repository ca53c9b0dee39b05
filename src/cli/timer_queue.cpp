#include "cli/timer_queue.h"

namespace tovalen::cli {

void TimerQueue::Arm(std::uint32_t id, TimePoint due) { m_timers[id] = Entry{due, ++m_armings}; }

std::map<std::uint32_t, TimerQueue::Entry>::const_iterator TimerQueue::First() const {
  auto first = m_timers.end();
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (first == m_timers.end() || it->second.due < first->second.due ||
        (it->second.due == first->second.due && it->second.order < first->second.order)) {
      first = it;
    }
  }
  return first;
}

std::optional<TimerQueue::TimePoint> TimerQueue::NextDue() const {
  const auto first = First();
  if (first == m_timers.end()) return std::nullopt;
  return first->second.due;
}

std::optional<std::uint32_t> TimerQueue::TakeDue(TimePoint now) {
  const auto first = First();
  if (first == m_timers.end() || first->second.due > now) return std::nullopt;
  const std::uint32_t id = first->first;
  m_timers.erase(first);
  return id;
}

}  // namespace tovalen::cli
