#pragma once

#include <string>
#include <vector>

#include "capture/leftover_recovery.h"

namespace tovalen {

// What became of the recordings killed captures had left, a heading and a line for each; none
// when the list is empty.
std::vector<std::string> LeftoverReportLines(const std::vector<LeftoverReport>& reports);

}  // namespace tovalen
