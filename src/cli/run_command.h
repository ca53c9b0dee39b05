#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tovalen::cli {

// tovalen-rec run FILE: runs the schedule as the runner window does, printing its activity and
// progress, until every reservation has been handled or SIGINT/SIGTERM ends it (a running
// recording is saved first). Exit 0 unless a recording failed. FILE is only read.
// --late records a reservation already under way for what remains; each one dropped is printed.
int Run(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tovalen::cli
