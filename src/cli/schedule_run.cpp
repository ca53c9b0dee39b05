#include "cli/schedule_run.h"

#include <algorithm>

#include "recording/recording_runner.h"

namespace tovalen::cli {
namespace {

// The wall clock is read again at least this often, so a suspend or a clock change cannot
// make a start late by more.
constexpr std::chrono::milliseconds kLongestWait{1000};

std::chrono::milliseconds WaitFor(const TimerQueue& timers, TimerQueue::TimePoint now) {
  const auto due = timers.NextDue();
  if (!due) return kLongestWait;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
  return std::clamp(wait, std::chrono::milliseconds(0), kLongestWait);
}

// The command-line window that also shows each display to the watch.
class WatchedWindow : public CliRunnerWindow {
 public:
  WatchedWindow(std::ostream& out, TimerQueue& timers, CaptureReadings readings, const ScheduleRunWatch& watch)
      : CliRunnerWindow(out, timers, std::move(readings)), m_watch(watch) {}
  void Show(const RunnerDisplay& display) override {
    CliRunnerWindow::Show(display);
    if (m_watch.shown) m_watch.shown(display);
  }

 private:
  const ScheduleRunWatch& m_watch;
};

}  // namespace

ScheduleRunResult RunSchedule(CYoyakuSchedule schedule, TerminationAwareLoop& loop, CaptureReadings readings,
                              std::ostream& out, LateStart late, const ScheduleChanges& changes,
                              const std::string& schedulePath, const ScheduleRunWatch& watch) {
  TimerQueue timers;
  WatchedWindow window(out, timers, std::move(readings), watch);
  CRecordingRunner runner(window);
  runner.SetSchedule(schedule);
  runner.SetSchedulePath(schedulePath);
  runner.SetLateStart(late);
  runner.Open();

  ScheduleRunResult result;
  while (true) {
    if (loop.TerminationRequested()) {
      result.interrupted = true;
      break;
    }
    runner.PassOnLeftoverReports();
    const auto now = std::chrono::system_clock::now();
    // Due timers go first, so a change never replans a reservation whose time has come.
    if (const auto id = timers.TakeDue(now)) {
      runner.OnTimer(*id);
    } else if (auto reservations = changes ? changes() : std::nullopt) {
      runner.Replan(std::move(*reservations));
      out << "schedule changed: " << runner.GetWaitingCount() << " to come" << std::endl;
    } else if (runner.HasReservationsLeft() || runner.IsRecoveringLeftovers() || watch.keepWaiting) {
      // Leftovers still being rebuilt are waited for, so that what became of each is told.
      loop.PumpAndWait(WaitFor(timers, now));
    } else {
      break;
    }
  }
  result.recorded = runner.GetRecordedCount();
  result.failed = runner.GetFailedCount();
  result.notStarted = runner.GetWaitingCount();
  runner.Close();
  return result;
}

}  // namespace tovalen::cli
