#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_runner_window.h"
#include "cli/termination_aware_loop.h"
#include "recording/late_start.h"
#include "schedule/yoyaku_schedule.h"

namespace tovalen::cli {

struct ScheduleRunResult {
  int recorded = 0;
  int failed = 0;
  int notStarted = 0;  // left when a termination signal ended the run
  bool interrupted = false;
};

// New contents for the schedule when its file has changed, else nothing.
using ScheduleChanges = std::function<std::optional<std::vector<SYoyaku>>()>;

// What serve asks of a run besides run's own: to see each display, and to wait on for changes
// when nothing is left, until a termination signal.
struct ScheduleRunWatch {
  std::function<void(const RunnerDisplay&)> shown;
  bool keepWaiting = false;
};

// Runs the schedule as the runner window does, on real timers, until every reservation has been
// handled and no change is pending, or a termination signal arrives; the capture controller must
// be installed and set up. Between recordings, new contents from `changes` are planned again.
// Works on its own copy: reservations that have passed are skipped by the next run anyway.
ScheduleRunResult RunSchedule(CYoyakuSchedule schedule, TerminationAwareLoop& loop, CaptureReadings readings,
                              std::ostream& out, LateStart late = LateStart::kDrop, const ScheduleChanges& changes = {},
                              const std::string& schedulePath = {}, const ScheduleRunWatch& watch = {});

}  // namespace tovalen::cli
