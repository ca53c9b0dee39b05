#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "capture/leftover_recovery.h"
#include "schedule/yoyaku_schedule.h"

namespace tovalen {

// The folders the reservations record into, each once, in schedule order.
std::vector<std::string> RecordingFolders(const CYoyakuSchedule& schedule);

// Recovers every leftover recording in the folders through `recovery`, tracing each one and
// handing its report on, until a stop is requested (checked between two leftovers).
void RecoverLeftoversIn(LeftoverRecovery& recovery, const std::vector<std::string>& folders, std::stop_token stop,
                        const std::function<void(LeftoverReport)>& report);

// Recovers the leftovers in the folders through the installed recovery (none when nothing is
// installed) on a worker thread, beside the timetable: rebuilding a big leftover takes seconds,
// which no start may wait for. A leftover that cannot be rebuilt is reported once across runs
// (ReportedLeftovers in `memoryFile`); later tries are traced only.
class LeftoverSweep {
 public:
  LeftoverSweep(std::vector<std::string> folders, std::string memoryFile);
  // Stops as Finish does.
  ~LeftoverSweep() = default;
  LeftoverSweep(const LeftoverSweep&) = delete;
  LeftoverSweep& operator=(const LeftoverSweep&) = delete;

  // The reports made since the last call, in the order of the leftovers.
  std::vector<LeftoverReport> TakeReports();
  // Whether leftovers may still be reported.
  bool IsRunning() const { return !m_done; }
  // Leaves the leftovers not started for the next opening and waits for the one being rebuilt:
  // a recovery cannot be cut short without leaving a half-written file, and it is bounded by
  // the size of one leftover.
  void Finish();

 private:
  void Sweep(std::stop_token stop, LeftoverRecovery& recovery, const std::vector<std::string>& folders,
             const std::string& memoryFile);

  std::mutex m_mutex;
  std::vector<LeftoverReport> m_reports;  // made by the worker, not taken yet
  std::atomic<bool> m_done{false};
  std::jthread m_worker;  // last: joined before what it uses goes
};

}  // namespace tovalen
