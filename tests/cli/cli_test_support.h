#pragma once

#include <string>
#include <vector>

#include "cli/cli_command.h"

namespace tovalen::testing {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs tovalen-rec in-process with the given words after the program name.
CliResult RunCli(const std::vector<std::string>& args);
CliResult RunCli(const std::vector<std::string>& args, const std::vector<cli::CliCommand>& commands);

// The test pattern's index as `tovalen-rec devices` lists it: the last device (the machine's V4L2
// devices come first).
std::string TestPatternIndex();

}  // namespace tovalen::testing
