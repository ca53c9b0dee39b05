#include "capture/leftover_recovery.h"

#include <cstdio>

namespace tovalen {
namespace {

std::shared_ptr<LeftoverRecovery>& Slot() {
  static std::shared_ptr<LeftoverRecovery> recovery;
  return recovery;
}

}  // namespace

std::string DescribeLeftoverReport(const LeftoverReport& report) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", report.seconds);
  const std::string counts = std::to_string(report.frames) + " frames, " + seconds + " s";
  switch (report.result) {
    case LeftoverReport::Result::kRecovered:
      return "recovered " + report.leftover + " as " + report.recovered + ": " + counts;
    case LeftoverReport::Result::kPartial:
      return "partly recovered " + report.leftover + " as " + report.recovered + ": " + counts +
             "; left as it is, as " + report.detail;
    case LeftoverReport::Result::kNoFrame:
      return "not recovered " + report.leftover + ": no readable frame; left as it is";
    case LeftoverReport::Result::kInUse:
      return "not recovered " + report.leftover + ": a capture is recording into it";
    case LeftoverReport::Result::kFailed:
      break;
  }
  return "not recovered " + report.leftover + ": " + report.detail + "; left as it is";
}

void InstallLeftoverRecovery(std::shared_ptr<LeftoverRecovery> recovery) { Slot() = std::move(recovery); }

LeftoverRecovery* InstalledLeftoverRecovery() { return Slot().get(); }

}  // namespace tovalen
