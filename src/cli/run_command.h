#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_capture.h"
#include "cli/cli_runner_window.h"

namespace tovalen::cli {

// tovalen-rec run FILE: runs the schedule as the runner window does, printing its activity and
// progress, until every reservation has been handled or SIGINT/SIGTERM ends it (a running
// recording is saved first). Exit 0 unless a recording failed. FILE is only read.
// --late records a reservation already under way for what remains; each one dropped is printed.
int Run(const std::vector<std::string>& args, std::ostream& out);

// How run prepares the device and reads the capture; serve runs a schedule the same way.
// With PersistentConnect the device must stand connected before the run, as the GUI's device
// choice leaves it; here nothing chose it, so the run makes that connection itself, to the
// schedule's device and with its settings applied as the settings dialogs would. A failure
// leaves it unconnected.
void ConnectForTheWholeRun(CVideoCap& cap);
CaptureReadings ReadingsOf(CliCapture& capture);

}  // namespace tovalen::cli
