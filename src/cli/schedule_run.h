#pragma once

#include <ostream>

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

// Runs the schedule as the runner window does, on real timers, until every reservation has been
// handled or a termination signal arrives; the capture controller must be installed and set up.
// Works on its own copy: reservations that have passed are skipped by the next run anyway.
ScheduleRunResult RunSchedule(CYoyakuSchedule schedule, TerminationAwareLoop& loop, CaptureReadings readings,
                              std::ostream& out, LateStart late = LateStart::kDrop);

}  // namespace tovalen::cli
