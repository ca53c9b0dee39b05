#include "recording/leftover_sweep.h"

#include <algorithm>

#include "platform/posix_file.h"
#include "platform/trace.h"
#include "recording/reported_leftovers.h"

namespace tovalen {

std::vector<std::string> RecordingFolders(const CYoyakuSchedule& schedule) {
  std::vector<std::string> folders;
  for (std::int32_t i = 0; i < schedule.GetYoyakuCount(); ++i) {
    std::string folder = FolderOf(schedule.GetYoyaku(static_cast<std::size_t>(i)).strFileName);
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
  }
  return folders;
}

void RecoverLeftoversIn(LeftoverRecovery& recovery, const std::vector<std::string>& folders, std::stop_token stop,
                        const std::function<void(LeftoverReport)>& report) {
  for (const std::string& folder : folders) {
    for (const std::string& leftover : recovery.FindLeftovers(folder)) {
      if (stop.stop_requested()) return;
      LeftoverReport made = recovery.Recover(leftover);
      Trace("D: CDlgRecStart::OnInitDialog() " + DescribeLeftoverReport(made) + "\n");
      report(std::move(made));
    }
  }
}

LeftoverSweep::LeftoverSweep(std::vector<std::string> folders, std::string memoryFile) {
  LeftoverRecovery* recovery = InstalledLeftoverRecovery();
  if (!recovery || folders.empty()) {
    m_done = true;
    return;
  }
  m_worker = std::jthread([this, recovery, folders = std::move(folders), memoryFile = std::move(memoryFile)](
                              std::stop_token stop) { Sweep(stop, *recovery, folders, memoryFile); });
}

void LeftoverSweep::Sweep(std::stop_token stop, LeftoverRecovery& recovery, const std::vector<std::string>& folders,
                          const std::string& memoryFile) {
  ReportedLeftovers reported(memoryFile);
  RecoverLeftoversIn(recovery, folders, stop, [&](LeftoverReport report) {
    const bool notRebuilt =
        report.result == LeftoverReport::Result::kFailed || report.result == LeftoverReport::Result::kNoFrame;
    if (notRebuilt && reported.ReportedBefore(report.leftover)) return;
    std::lock_guard lock(m_mutex);
    m_reports.push_back(std::move(report));
  });
  m_done = true;
}

std::vector<LeftoverReport> LeftoverSweep::TakeReports() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_reports, {});
}

void LeftoverSweep::Finish() {
  if (!m_worker.joinable()) return;
  m_worker.request_stop();
  m_worker.join();
}

}  // namespace tovalen
