#pragma once

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovalen::cli {

// An operation that could not be carried out (a file that cannot be written, a recording
// that failed): reported as one line and exit status 1.
class OperationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A warning of a command that goes on: one line on the error stream of the running command.
void Warn(const std::string& text);

// Exit statuses of tovalen-rec.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// One tovalen-rec command. The handler gets the words after the command name and returns
// the exit status; it throws UsageError or OperationError for what it cannot do.
struct CliCommand {
  std::string name;
  std::string usage;  // the synopsis line shown by --help
  std::function<int(const std::vector<std::string>& args, std::ostream& out)> run;
};

}  // namespace tovalen::cli
