#include "cli/cli_runner_window.h"

#include <string>

namespace tovalen::cli {

CliRunnerWindow::CliRunnerWindow(std::ostream& out, TimerQueue& timers, CaptureReadings readings, WallClock now)
    : m_out(out), m_timers(timers), m_readings(std::move(readings)), m_now(std::move(now)) {}

void CliRunnerWindow::ArmTimer(std::uint32_t id, std::chrono::milliseconds delay) { m_timers.Arm(id, m_now() + delay); }

void CliRunnerWindow::Show(const RunnerDisplay& display) {
  if (display.state == RunnerState::kRecording) {
    PrintProgress(display);
  } else if (!m_lastPrinted || display.state != m_lastPrinted->state || display.activity != m_lastPrinted->activity ||
             display.nextReservation != m_lastPrinted->nextReservation) {
    PrintActivity(display);
  }
  m_lastPrinted = display;
}

void CliRunnerWindow::PrintActivity(const RunnerDisplay& display) {
  m_lastProgressSecond = -1;
  m_out << display.activity;
  if (!display.nextReservation.empty()) m_out << ": " << display.nextReservation;
  if (display.state == RunnerState::kError && m_readings.takeMessages) {
    if (const std::string messages = m_readings.takeMessages(); !messages.empty()) m_out << " (" << messages << ")";
  }
  m_out << std::endl;
  if (!display.failure.empty()) m_out << "  " << display.failure << std::endl;
}

void CliRunnerWindow::PrintProgress(const RunnerDisplay& display) {
  const std::int32_t second = display.elapsedMs / 1000;
  if (second <= m_lastProgressSecond) return;
  m_lastProgressSecond = second;
  m_out << display.activity << ": " << second << " of " << display.recordSeconds << " s recorded";
  const auto dropped = m_readings.droppedFrames ? m_readings.droppedFrames() : std::nullopt;
  if (dropped) m_out << ", " << *dropped << " dropped";
  if (const std::uint32_t reconnects = m_readings.reconnects ? m_readings.reconnects() : 0)
    m_out << ", " << reconnects << (reconnects == 1 ? " reconnect" : " reconnects");
  m_out << std::endl;
}

}  // namespace tovalen::cli
