#include "recording/leftover_sweep.h"

#include <algorithm>

#include "platform/posix_file.h"
#include "platform/trace.h"

namespace tovalen {

std::vector<std::string> RecordingFolders(const CYoyakuSchedule& schedule) {
  std::vector<std::string> folders;
  for (std::int32_t i = 0; i < schedule.GetYoyakuCount(); ++i) {
    std::string folder = FolderOf(schedule.GetYoyaku(static_cast<std::size_t>(i)).strFileName);
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
  }
  return folders;
}

std::vector<LeftoverReport> RecoverLeftoversIn(const std::vector<std::string>& folders) {
  std::vector<LeftoverReport> reports;
  LeftoverRecovery* recovery = InstalledLeftoverRecovery();
  if (!recovery) return reports;
  for (const std::string& folder : folders) {
    for (const std::string& leftover : recovery->FindLeftovers(folder)) {
      reports.push_back(recovery->Recover(leftover));
      Trace("D: CDlgRecStart::OnInitDialog() " + DescribeLeftoverReport(reports.back()) + "\n");
    }
  }
  return reports;
}

}  // namespace tovalen
