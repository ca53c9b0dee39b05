#include "schedule/recording_target_rules.h"

#include <sys/stat.h>

#include <climits>
#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/derived_file_names.h"

namespace tovalen {
namespace {

namespace fs = std::filesystem;

// The path with every link in its existing part followed; empty when it cannot be worked out.
fs::path Resolved(const std::string& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  return error ? fs::path() : resolved;
}

// A capture is saved by renaming onto its target, so a target that is the schedule, or the
// scratch file the schedule's own save renames over it, would replace the schedule.
bool IsTheSchedule(const std::string& target, const std::string& schedulePath) {
  if (target.empty() || schedulePath.empty()) return false;
  const fs::path resolvedTarget = Resolved(target);
  const fs::path resolvedSchedule = Resolved(schedulePath);
  if (!resolvedTarget.empty() && !resolvedSchedule.empty() &&
      resolvedTarget.parent_path() == resolvedSchedule.parent_path() &&
      IsAtomicSaveScratchName(resolvedTarget.filename().string())) {
    return true;
  }
  struct stat targetInfo {};
  struct stat scheduleInfo {};
  if (::stat(target.c_str(), &targetInfo) == 0 && ::stat(schedulePath.c_str(), &scheduleInfo) == 0) {
    return targetInfo.st_dev == scheduleInfo.st_dev && targetInfo.st_ino == scheduleInfo.st_ino;
  }
  return !resolvedTarget.empty() && resolvedTarget == resolvedSchedule;
}

}  // namespace

RecordingTargetProblem CheckRecordingTarget(const std::string& target, const std::string& schedulePath) {
  if (IsTheSchedule(target, schedulePath)) return RecordingTargetProblem::kIsTheSchedule;
  switch (CheckDerivedFileNames(target)) {
    case TargetNameProblem::kNone:
      return RecordingTargetProblem::kNone;
    case TargetNameProblem::kNameTooLong:
      return RecordingTargetProblem::kNameTooLong;
    case TargetNameProblem::kPathTooLong:
      return RecordingTargetProblem::kPathTooLong;
  }
  return RecordingTargetProblem::kNone;
}

std::optional<RecordingTargetRefusal> FindRefusedTarget(const std::vector<SYoyaku>& reservations,
                                                        const std::string& schedulePath) {
  for (const SYoyaku& yoyaku : reservations) {
    const RecordingTargetProblem problem = CheckRecordingTarget(yoyaku.strFileName, schedulePath);
    if (problem != RecordingTargetProblem::kNone) return RecordingTargetRefusal{problem, yoyaku.strFileName};
  }
  return std::nullopt;
}

std::string DescribeRecordingTargetProblem(RecordingTargetProblem problem, const std::string& target) {
  switch (problem) {
    case RecordingTargetProblem::kNone:
      return {};
    case RecordingTargetProblem::kIsTheSchedule:
      return "cannot record into " + target + ": it is the schedule file itself";
    case RecordingTargetProblem::kNameTooLong:
      return "cannot record into " + target + ": the file name is too long; it may have at most " +
             std::to_string(LongestTargetNameBytes(target)) + " bytes there, as the names made beside it while " +
             "recording and recovering are longer";
    case RecordingTargetProblem::kPathTooLong:
      return "cannot record into " + target + ": the path is too long; the paths made beside it while recording " +
             "and recovering must fit the limit of " + std::to_string(PATH_MAX - 1) + " bytes";
  }
  return {};
}

std::string RecordingTargetProblemMessage(RecordingTargetProblem problem, const std::string& target) {
  switch (problem) {
    case RecordingTargetProblem::kNone:
      return {};
    case RecordingTargetProblem::kIsTheSchedule:
      return "予約ファイル自身には録画できません。別の録画ファイルを指定してください。";
    case RecordingTargetProblem::kNameTooLong:
      return "録画ファイル名が長すぎます。ファイル名（繰り返しで付く日付を含む）を " +
             std::to_string(LongestTargetNameBytes(target)) + " バイト以内にしてください。";
    case RecordingTargetProblem::kPathTooLong:
      return "録画ファイルのパスが長すぎます。もっと短いパスを指定してください。";
  }
  return {};
}

}  // namespace tovalen
