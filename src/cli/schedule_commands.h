#pragma once

#include <vector>

#include "cli/cli_command.h"

namespace tovalen::cli {

// new, list, settings, add, edit, remove, purge and set: the commands that read or change a
// schedule file. A command that fails leaves the file as it was.
std::vector<CliCommand> ScheduleCommands();

}  // namespace tovalen::cli
