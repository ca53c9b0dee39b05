#include "cli/tovalen_rec.h"

#include <algorithm>

#include "cli/capture_commands.h"
#include "cli/command_line.h"
#include "cli/recover_command.h"
#include "cli/run_command.h"
#include "cli/schedule_commands.h"
#include "cli/serve_command.h"
#include "platform/trace.h"

namespace tovalen::cli {
namespace {

void PrintUsage(const std::vector<CliCommand>& commands, std::ostream& out) {
  out << "usage: tovalen-rec [--trace] COMMAND ...\n"
         "times are local \"YYYY-MM-DD HH:MM:SS\"; lengths are seconds or a number with s, m or h\n\n";
  for (const CliCommand& command : commands) out << "  tovalen-rec " << command.usage << '\n';
}

}  // namespace

std::vector<CliCommand> AllCommands() {
  std::vector<CliCommand> commands = ScheduleCommands();
  for (CliCommand& command : CaptureCommands()) commands.push_back(std::move(command));
  commands.push_back({"run", "run [--late] FILE", Run});
  commands.push_back({"recover", "recover PATH", Recover});
  commands.push_back({"serve", "serve FILE [--listen ADDR:PORT] [--allow DIR]... [--cert PEM --key PEM]", Serve});
  commands.push_back({"serve-password", "serve-password  (reads the web password from standard input)", ServePassword});
  return commands;
}

int RunTovalenRec(const std::vector<std::string>& args, const std::vector<CliCommand>& commands, std::ostream& out,
                  std::ostream& err) {
  // --trace counts only before the command, so that it can be an option's value.
  const auto command_word = std::find_if(args.begin(), args.end(), [](const std::string& w) { return w != "--trace"; });
  const bool trace = command_word != args.begin();
  const std::vector<std::string> words(command_word, args.end());
  ScopedTraceSink sink(trace ? TraceSink(WriteTraceToStderr) : TraceSink());

  if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    PrintUsage(commands, words.empty() ? err : out);
    return words.empty() ? kExitUsage : kExitSuccess;
  }
  const auto command =
      std::find_if(commands.begin(), commands.end(), [&](const CliCommand& c) { return c.name == words[0]; });
  try {
    if (command == commands.end()) throw UsageError("unknown command \"" + words[0] + "\" (see tovalen-rec --help)");
    return command->run(std::vector<std::string>(words.begin() + 1, words.end()), out);
  } catch (const UsageError& error) {
    err << "tovalen-rec: " << error.what() << '\n';
    return kExitUsage;
  } catch (const OperationError& error) {
    err << "tovalen-rec: " << error.what() << '\n';
    return kExitFailure;
  } catch (const std::exception& error) {
    // Whatever else goes wrong (out of memory...) is reported, never left to terminate.
    err << "tovalen-rec: " << error.what() << '\n';
    return kExitFailure;
  }
}

}  // namespace tovalen::cli
