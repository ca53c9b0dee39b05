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

}  // namespace

ScheduleRunResult RunSchedule(CYoyakuSchedule schedule, TerminationAwareLoop& loop, CaptureReadings readings,
                              std::ostream& out, LateStart late) {
  TimerQueue timers;
  CliRunnerWindow window(out, timers, std::move(readings));
  CRecordingRunner runner(window);
  runner.SetSchedule(schedule);
  runner.SetLateStart(late);
  runner.Open();

  ScheduleRunResult result;
  while (runner.HasReservationsLeft()) {
    if (loop.TerminationRequested()) {
      result.interrupted = true;
      break;
    }
    const auto now = std::chrono::system_clock::now();
    if (const auto id = timers.TakeDue(now)) {
      runner.OnTimer(*id);
    } else {
      loop.PumpAndWait(WaitFor(timers, now));
    }
  }
  result.recorded = runner.GetRecordedCount();
  result.failed = runner.GetFailedCount();
  result.notStarted = schedule.GetYoyakuCount() - result.recorded - result.failed;
  runner.Close();
  return result;
}

}  // namespace tovalen::cli
