#include "cli/recover_command.h"

#include <filesystem>

#include "cli/cli_capture.h"
#include "cli/cli_command.h"
#include "cli/command_line.h"

namespace tovalen::cli {

int Recover(const std::vector<std::string>& args, std::ostream& out) {
  const std::string path = CommandLine(args, {}).Positional(1, "PATH")[0];
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) throw UsageError("no file or folder " + path);

  LeftoverRecovery& recovery = InstalledCapture().recovery;
  const std::vector<std::string> leftovers = recovery.FindLeftovers(path);
  if (leftovers.empty()) {
    if (!std::filesystem::is_directory(status)) {
      throw UsageError(
          path +
          " is not a recording left by a capture (NAME.recording-XXXXXX.avi, or .ts, .mkv, .mp4 for a copied stream)");
    }
    out << "no recording to recover in " << path << '\n';
    return kExitSuccess;
  }
  int failed = 0;
  for (const std::string& leftover : leftovers) {
    const LeftoverReport report = recovery.Recover(leftover);
    if (report.result != LeftoverReport::Result::kRecovered) ++failed;
    out << DescribeLeftoverReport(report) << '\n' << std::flush;
  }
  return failed == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace tovalen::cli
