#pragma once

#include <string>
#include <vector>

#include "capture/leftover_recovery.h"
#include "schedule/yoyaku_schedule.h"

namespace tovalen {

// The folders the reservations record into, each once, in schedule order.
std::vector<std::string> RecordingFolders(const CYoyakuSchedule& schedule);

// Recovers every leftover recording in the folders through the installed recovery (nothing
// when none is installed), tracing each one.
std::vector<LeftoverReport> RecoverLeftoversIn(const std::vector<std::string>& folders);

}  // namespace tovalen
