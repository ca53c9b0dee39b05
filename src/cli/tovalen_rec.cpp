#include "cli/tovalen_rec.h"

#include <algorithm>
#include <map>
#include <utility>

#include "cli/capture_commands.h"
#include "cli/command_line.h"
#include "cli/recover_command.h"
#include "cli/run_command.h"
#include "cli/schedule_commands.h"
#include "cli/serve_command.h"
#include "cli/source_commands.h"
#include "platform/trace.h"
#include "platform/version.h"

namespace tovalen::cli {
namespace {

// What each command does, under its synopsis in --help (and so in the manual page made from it).
const std::map<std::string, std::string, std::less<>>& CommandSummaries() {
  static const std::map<std::string, std::string, std::less<>> summaries = {
      {"new", "writes an empty schedule with the default settings (never overwrites)"},
      {"list", "one line per reservation, in start-time order (the first line is index 0)"},
      {"settings", "the frame-rate and connection setting, the audio format, the selected device index"},
      {"add", "adds a reservation, or N of them repeated at the same time of day"},
      {"edit", "changes one reservation; a new start alone keeps the length"},
      {"remove", "removes one reservation"},
      {"purge", "removes the reservations whose start has passed"},
      {"set", "changes the capture settings"},
      {"devices", "index, name and version of each capture device, and its driver settings"},
      {"device", "changes device N's driver settings"},
      {"record", "records now with the schedule's default settings, for the length given"},
      {"run", "runs the schedule: waits for each reservation, records it and prints its progress"},
      {"source",
       "the network streams listed as capture devices after the machine's own; URLs are shown masked, and a URL "
       "given as - is read from standard input"},
      {"recover", "rebuilds the recordings a killed capture left in a file or folder"},
      {"serve", "runs the schedule as run does and serves the web interface to edit and watch it"},
      {"serve-password", "stores the web interface's password, read from standard input"},
  };
  return summaries;
}

void PrintShortUsage(const std::vector<CliCommand>& commands, std::ostream& out) {
  out << "usage: tovalen-rec [--trace] COMMAND ...\n"
         "times are local \"YYYY-MM-DD HH:MM:SS\"; lengths are seconds or a number with s, m or h\n\n";
  for (const CliCommand& command : commands) out << "  tovalen-rec " << command.usage << '\n';
}

void PrintHelp(const std::vector<CliCommand>& commands, std::ostream& out) {
  out << "Usage: tovalen-rec [--trace] COMMAND [ARGUMENT]...\n"
         "Keeps the recording reservations of a schedule file (.yyk) and records them from a capture device, "
         "without a screen.\n\n"
         "Times are local \"YYYY-MM-DD HH:MM:SS\"; lengths are seconds or a number with s, m or h.\n\n"
         "Commands:\n";
  for (const CliCommand& command : commands) {
    out << "  tovalen-rec " << command.usage << '\n';
    const auto summary = CommandSummaries().find(command.name);
    if (summary != CommandSummaries().end()) out << "                      " << summary->second << '\n';
  }
  out << "\nOptions:\n"
         "  --trace        before the command: send the program's trace lines to standard error\n"
         "  -h, --help     show this help and exit\n"
         "  --version      show the version and exit\n";
}

}  // namespace

std::vector<CliCommand> AllCommands() {
  std::vector<CliCommand> commands = ScheduleCommands();
  for (CliCommand& command : CaptureCommands()) commands.push_back(std::move(command));
  commands.push_back({"source", "source add NAME URL | source list | source remove NAME", Source});
  commands.push_back({"run", "run [--late] FILE", Run});
  commands.push_back({"recover", "recover PATH", Recover});
  commands.push_back({"serve", "serve FILE [--listen ADDR:PORT] [--allow DIR]... [--cert PEM --key PEM]", Serve});
  commands.push_back({"serve-password", "serve-password  (reads the web password from standard input)", ServePassword});
  return commands;
}

namespace {

thread_local std::ostream* t_warnings = nullptr;  // the error stream of the running command

}  // namespace

void Warn(const std::string& text) {
  if (t_warnings) *t_warnings << "tovalen-rec: warning: " << text << '\n';
}

int RunTovalenRec(const std::vector<std::string>& args, const std::vector<CliCommand>& commands, std::ostream& out,
                  std::ostream& err) {
  // --trace counts only before the command, so that it can be an option's value.
  const auto command_word = std::find_if(args.begin(), args.end(), [](const std::string& w) { return w != "--trace"; });
  const bool trace = command_word != args.begin();
  const std::vector<std::string> words(command_word, args.end());
  ScopedTraceSink sink(trace ? TraceSink(WriteTraceToStderr) : TraceSink());

  if (words.empty()) {
    PrintShortUsage(commands, err);
    return kExitUsage;
  }
  if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    PrintHelp(commands, out);
    return kExitSuccess;
  }
  if (words[0] == "--version") {
    out << "tovalen-rec " << kVersion << '\n';
    return kExitSuccess;
  }
  const auto command =
      std::find_if(commands.begin(), commands.end(), [&](const CliCommand& c) { return c.name == words[0]; });
  std::ostream* const outerWarnings = std::exchange(t_warnings, &err);
  struct RestoreWarnings {
    std::ostream* outer;
    ~RestoreWarnings() { t_warnings = outer; }
  } restore{outerWarnings};
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
