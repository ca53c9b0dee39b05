#pragma once

#include <optional>
#include <string>
#include <vector>

#include "schedule/s_yoyaku.h"

namespace tovalen {

// What is wrong with a reservation's recording target, checked in this order.
enum class RecordingTargetProblem {
  kNone,
  kIsTheSchedule,  // the schedule file itself, or a name its own save writes through
  kNameTooLong,    // the name or one made beside it exceeds the folder's NAME_MAX
  kPathTooLong,    // the path or one made beside it exceeds PATH_MAX
};

// schedulePath names the schedule the reservation is kept in; empty while it has no file.
RecordingTargetProblem CheckRecordingTarget(const std::string& target, const std::string& schedulePath);

// The first occurrence whose target has a problem, with that problem.
struct RecordingTargetRefusal {
  RecordingTargetProblem problem;
  std::string target;
};
std::optional<RecordingTargetRefusal> FindRefusedTarget(const std::vector<SYoyaku>& reservations,
                                                        const std::string& schedulePath);

// One English line naming the target and saying why it is refused; empty for kNone.
std::string DescribeRecordingTargetProblem(RecordingTargetProblem problem, const std::string& target);

// The editor's message for a problem; empty for kNone.
std::string RecordingTargetProblemMessage(RecordingTargetProblem problem, const std::string& target);

}  // namespace tovalen
