#include "cli_test_support.h"

#include <sstream>

#include "cli/tovalen_rec.h"

namespace tovalen::testing {

CliResult RunCli(const std::vector<std::string>& args) { return RunCli(args, cli::AllCommands()); }

CliResult RunCli(const std::vector<std::string>& args, const std::vector<cli::CliCommand>& commands) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunTovalenRec(args, commands, out, err);
  return {status, out.str(), err.str()};
}

std::string TestPatternIndex() {
  const std::string listed = RunCli({"devices"}).out;
  const auto line = listed.rfind(", テストパターン, ");
  const auto start = listed.rfind('\n', line);
  const std::size_t from = start == std::string::npos ? 0 : start + 1;
  return listed.substr(from, line - from);
}

}  // namespace tovalen::testing
