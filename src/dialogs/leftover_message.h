#pragma once

#include <vector>

#include "capture/leftover_recovery.h"

class wxWindow;

namespace tovalen {

// One message listing what became of the recordings killed captures had left; none when the
// list is empty.
void ShowLeftoverReports(wxWindow* owner, const std::vector<LeftoverReport>& reports);

}  // namespace tovalen
