#include "fake_runner_window.h"

#include "platform/clock.h"

namespace tovalen::testing {

void FakeRunnerWindow::Show(const RunnerDisplay& display) { shown.push_back({display, Clock::Now()}); }

void FakeRunnerWindow::ArmTimer(std::uint32_t id, std::chrono::milliseconds delay) {
  arms.emplace_back(id, delay);
  m_armed[id] = {Clock::NowMs() + delay.count(), ++m_armings};
}

void FakeRunnerWindow::KillTimer(std::uint32_t id) {
  kills.push_back(id);
  m_armed.erase(id);
}

std::optional<std::pair<std::uint32_t, std::int64_t>> FakeRunnerWindow::NextTimer() const {
  const std::pair<const std::uint32_t, Armed>* first = nullptr;
  for (const auto& entry : m_armed) {
    const bool earlier =
        !first || entry.second.dueMs < first->second.dueMs ||
        (entry.second.dueMs == first->second.dueMs && (entry.second.order < first->second.order) != newestFirstOnTies);
    if (earlier) first = &entry;
  }
  if (!first) return std::nullopt;
  const std::int64_t dueSecond = (first->second.dueMs + 999) / 1000;
  return std::make_pair(first->first, dueSecond);
}

void FakeRunnerWindow::Fire(std::uint32_t id) {
  m_armed.erase(id);
  runner->OnTimer(id);
}

void FakeRunnerWindow::FireDueTimers() {
  while (const auto next = NextTimer()) {
    if (next->second > Clock::Now()) return;
    Fire(next->first);
  }
}

}  // namespace tovalen::testing
