#pragma once

#include <vector>

#include "cli/cli_command.h"

namespace tovalen::cli {

// devices, device and record: the commands that work with the capture devices.
std::vector<CliCommand> CaptureCommands();

}  // namespace tovalen::cli
