#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"

namespace tovalen::cli {

// Runs tovalen-rec with the words after the program name and returns the exit status.
// Errors are written to err as one line; traces go to standard error only with --trace.
int RunTovalenRec(const std::vector<std::string>& args, const std::vector<CliCommand>& commands, std::ostream& out,
                  std::ostream& err);

// Every command this build of tovalen-rec offers.
std::vector<CliCommand> AllCommands();

}  // namespace tovalen::cli
