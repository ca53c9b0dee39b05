#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/timer_queue.h"
#include "recording/runner_window.h"

namespace tovalen::cli {

// What the runner's lines tell about the capture besides the runner's texts.
struct CaptureReadings {
  // Frames the running capture has dropped so far, or nothing when that is unknown.
  std::function<std::optional<std::uint32_t>()> droppedFrames;
  // What the capture controller told the user since the last call, or empty.
  std::function<std::string()> takeMessages;
  // How often the running capture's network stream connected again; none: never.
  std::function<std::uint32_t()> reconnects;
};

// The recording runner's window for tovalen-rec run: each new activity one line (an error with
// the controller's messages, and why it failed on the next line), a recording's progress at most
// once a second of recorded time, timers in a TimerQueue.
class CliRunnerWindow : public RunnerWindow {
 public:
  using WallClock = std::function<TimerQueue::TimePoint()>;

  CliRunnerWindow(std::ostream& out, TimerQueue& timers, CaptureReadings readings,
                  WallClock now = std::chrono::system_clock::now);

  void Show(const RunnerDisplay& display) override;
  void ArmTimer(std::uint32_t id, std::chrono::milliseconds delay) override;
  void KillTimer(std::uint32_t id) override { m_timers.Kill(id); }
  void Note(const std::string& line) override { m_out << line << std::endl; }

 private:
  void PrintActivity(const RunnerDisplay& display);
  void PrintProgress(const RunnerDisplay& display);

  std::ostream& m_out;
  TimerQueue& m_timers;
  CaptureReadings m_readings;
  WallClock m_now;
  std::optional<RunnerDisplay> m_lastPrinted;
  std::int32_t m_lastProgressSecond = -1;
};

}  // namespace tovalen::cli
