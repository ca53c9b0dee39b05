#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "recording/recording_runner.h"

namespace tovalen::testing {

// A runner window on the fake clock: it records what it was asked to show and arm, and delivers
// its timers when a test says the window's loop runs.
class FakeRunnerWindow : public RunnerWindow {
 public:
  struct Shown {
    RunnerDisplay display;
    std::int64_t at;  // the clock when it was shown
  };

  void Show(const RunnerDisplay& display) override;
  void ArmTimer(std::uint32_t id, std::chrono::milliseconds delay) override;
  void KillTimer(std::uint32_t id) override;
  void Note(const std::string& line) override { notes.push_back(line); }

  // The armed timer that falls due first (the earlier armed on a tie) and its due second.
  std::optional<std::pair<std::uint32_t, std::int64_t>> NextTimer() const;
  // Disarms the timer and hands it to the runner, as the window's loop does when it is due.
  void Fire(std::uint32_t id);
  // Fires every timer due by the clock, earliest first, including ones armed meanwhile.
  void FireDueTimers();

  CRecordingRunner* runner = nullptr;
  // Timers due at the same moment arrive newest first: no platform promises their order.
  bool newestFirstOnTies = false;
  std::vector<Shown> shown;
  std::vector<std::pair<std::uint32_t, std::chrono::milliseconds>> arms;
  std::vector<std::uint32_t> kills;
  std::vector<std::string> notes;

 private:
  struct Armed {
    std::int64_t dueMs;
    std::uint64_t order;
  };
  std::map<std::uint32_t, Armed> m_armed;
  std::uint64_t m_armings = 0;
};

}  // namespace tovalen::testing
