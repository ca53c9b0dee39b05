#include "web/schedule_editor.h"

#include <chrono>
#include <functional>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/file_lock.h"
#include "schedule/recording_target_rules.h"
#include "schedule/yoyaku_editor_rules.h"
#include "schedule/yoyaku_repeat.h"
#include "schedule/yoyaku_schedule.h"
#include "schedule/yoyaku_working_list.h"
#include "web/api_error.h"
#include "web/web_time.h"

namespace tovalen::web {
namespace {

using nlohmann::json;

// As long as `tovalen-rec add` waits for another writer.
constexpr std::chrono::seconds kLockWait{5};

// The longest length accepted before the editor's checks: far beyond any storable end.
constexpr std::int64_t kLongestSeconds = std::numeric_limits<std::int32_t>::max();

std::optional<std::string> TextField(const json& body, const char* name) {
  const auto field = body.find(name);
  if (field == body.end() || field->is_null()) return std::nullopt;
  if (!field->is_string()) throw ApiError(400, std::string("「") + name + "」は文字列で指定してください。");
  return field->get<std::string>();
}

std::optional<std::int64_t> IntegerField(const json& body, const char* name, std::int64_t low, std::int64_t high) {
  const auto field = body.find(name);
  if (field == body.end() || field->is_null()) return std::nullopt;
  if (!field->is_number_integer() || field->get<std::int64_t>() < low || field->get<std::int64_t>() > high) {
    throw ApiError(400, std::string("「") + name + "」は " + std::to_string(low) + "～" + std::to_string(high) +
                            " の整数で指定してください。");
  }
  return field->get<std::int64_t>();
}

std::optional<std::int64_t> TimeField(const json& body, const char* name) {
  const auto text = TextField(body, name);
  if (!text) return std::nullopt;
  const auto time = ParseWebTime(*text);
  if (!time) throw ApiError(400, std::string("「") + name + "」は YYYY-MM-DDTHH:MM:SS の形の日時で指定してください。");
  return time;
}

void RequireObject(const json& body) {
  if (!body.is_object()) throw ApiError(400, "リクエストの本文は JSON のオブジェクトにしてください。");
}

// The end from "end" or "seconds", which exclude each other; nothing when neither is given.
std::optional<std::int64_t> EndOf(const json& body, std::int64_t start) {
  const auto end = TimeField(body, "end");
  const auto seconds = IntegerField(body, "seconds", 0, kLongestSeconds);
  if (end && seconds) throw ApiError(400, "「end」と「seconds」はどちらか一方だけを指定してください。");
  if (seconds) return start + *seconds;
  return end;
}

SYoyaku WithCheckedTimes(SYoyaku yoyaku, std::int64_t start, std::int64_t end) {
  const YoyakuTimeProblem problem = CheckYoyakuTimes(start, end, Clock::Now());
  if (problem != YoyakuTimeProblem::kNone) throw ApiError(422, YoyakuTimeProblemMessage(problem));
  yoyaku.timeStart = static_cast<Time32>(start);
  yoyaku.spanDuration = static_cast<Span32>(end - start);
  return yoyaku;
}

std::vector<SYoyaku> Occurrences(const json& body, const SYoyaku& first) {
  const std::string name = TextField(body, "repeat").value_or("none");
  const std::map<std::string, YoyakuRepeat> repeats{{"none", YoyakuRepeat::kNone},
                                                    {"daily", YoyakuRepeat::kDaily},
                                                    {"weekly", YoyakuRepeat::kWeekly},
                                                    {"weekdays", YoyakuRepeat::kWeekdays}};
  const auto repeat = repeats.find(name);
  if (repeat == repeats.end())
    throw ApiError(400, "「repeat」は none, daily, weekly, weekdays のどれかにしてください。");
  const auto count = IntegerField(body, "count", kMinRepeatCount, kMaxRepeatCount);
  if (repeat->second == YoyakuRepeat::kNone) return {first};
  if (!count) throw ApiError(400, "繰り返しには「count」（1～52）が必要です。");
  auto occurrences = ExpandRepeat(first, repeat->second, static_cast<int>(*count));
  if (!occurrences) throw ApiError(422, YoyakuTimeProblemMessage(YoyakuTimeProblem::kBeyondStorable));
  return *occurrences;
}

void RefuseBadTargets(const std::vector<SYoyaku>& reservations, const std::string& schedulePath) {
  if (const auto refusal = FindRefusedTarget(reservations, schedulePath)) {
    throw ApiError(422, RecordingTargetProblemMessage(refusal->problem, refusal->target));
  }
}

ScheduleFileContents Load(const std::string& path) {
  try {
    return LoadScheduleFile(path);
  } catch (const FileError& error) {
    throw ApiError(503, std::string("予約ファイルを読めません: ") + error.what());
  } catch (const ScheduleFileError& error) {
    throw ApiError(503, std::string("予約ファイルを読めません: ") + error.what());
  }
}

// Loads under the lock, lets `change` work on the list and saves what it left.
void ChangeLocked(const std::string& path, const std::function<void(CYoyakuWorkingList&)>& change) {
  std::optional<FileLock> lock;
  try {
    lock.emplace(path, kLockWait);
  } catch (const FileError& error) {
    throw ApiError(503, std::string("予約ファイルがほかのプログラムに使われています: ") + error.what());
  }
  ScheduleFileContents contents = Load(path);
  CYoyakuSchedule schedule;
  schedule.ReplaceAll(std::move(contents.reservations));
  CYoyakuWorkingList list(schedule);
  change(list);
  list.WriteBack(schedule);
  try {
    SaveScheduleFile(path, contents.settings, schedule);
  } catch (const FileError& error) {
    throw ApiError(503, std::string("予約ファイルを保存できません: ") + error.what());
  }
}

std::size_t IndexOf(const CYoyakuWorkingList& list, std::int64_t start) {
  const auto& items = list.Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].timeStart == start) return i;
  }
  throw ApiError(404, "その開始時刻の予約はありません。");
}

}  // namespace

ScheduleFileContents ScheduleEditor::Read() const { return Load(m_path); }

// Before the lock is taken: a stream is looked at for a few seconds, longer than another writer
// waits for the lock.
void ScheduleEditor::CheckTargetOnDevice(const std::string& target, std::string* warning) const {
  if (!m_targetCheck) return;
  const TargetCheckAnswer answer = m_targetCheck->Check(Load(m_path).settings.iCapDriverId, target);
  if (!answer.Accepted()) throw ApiError(422, answer.refusal);
  if (warning) *warning = answer.warning;
}

std::vector<SYoyaku> ScheduleEditor::Add(const json& body, std::string* warning) const {
  RequireObject(body);
  const auto start = TimeField(body, "start");
  if (!start) throw ApiError(400, "「start」（録画開始時刻）が必要です。");
  const auto end = EndOf(body, *start);
  if (!end) throw ApiError(400, "「end」か「seconds」（録画の長さ）が必要です。");
  const auto file = TextField(body, "file");
  if (!file) throw ApiError(400, "「file」（録画ファイル）が必要です。");
  SYoyaku yoyaku;
  yoyaku.strFileName = m_folders.ResolveTarget(*file);
  yoyaku.strTitle = TextField(body, "title").value_or(kDefaultYoyakuTitle);
  yoyaku = WithCheckedTimes(yoyaku, *start, *end);
  const std::vector<SYoyaku> occurrences = Occurrences(body, yoyaku);
  RefuseBadTargets(occurrences, m_path);
  CheckTargetOnDevice(yoyaku.strFileName, warning);  // a repeat's dated names keep the extension
  ChangeLocked(m_path, [&](CYoyakuWorkingList& list) {
    if (const auto clash = list.InsertAll(occurrences)) {
      throw ApiError(409, RepeatOverlapMessage(clash->added, clash->other));
    }
  });
  return occurrences;
}

SYoyaku ScheduleEditor::Change(std::int64_t start, const json& body, std::string* warning) const {
  RequireObject(body);
  const auto newStart = TimeField(body, "start");
  const auto newEnd = EndOf(body, newStart.value_or(start));
  const auto file = TextField(body, "file");
  const auto title = TextField(body, "title");
  const std::string target = file ? m_folders.ResolveTarget(*file) : std::string();
  // Only a new target is checked: the reservation's own was when it was entered.
  if (file) CheckTargetOnDevice(target, warning);
  SYoyaku changed;
  ChangeLocked(m_path, [&](CYoyakuWorkingList& list) {
    const std::size_t index = IndexOf(list, start);
    SYoyaku yoyaku = list.Items()[index];
    const std::int64_t begin = newStart.value_or(yoyaku.timeStart);
    // Without a new end or length the reservation keeps its length.
    const std::int64_t end = newEnd.value_or(begin + yoyaku.spanDuration);
    if (file) yoyaku.strFileName = target;
    if (title) yoyaku.strTitle = *title;
    yoyaku = WithCheckedTimes(yoyaku, begin, end);
    RefuseBadTargets({yoyaku}, m_path);
    if (const auto clash = list.InsertAll({yoyaku}, index)) {
      throw ApiError(409, RepeatOverlapMessage(clash->added, clash->other));
    }
    changed = yoyaku;
  });
  return changed;
}

void ScheduleEditor::Remove(std::int64_t start) const {
  ChangeLocked(m_path, [&](CYoyakuWorkingList& list) { list.DeleteYoyaku(IndexOf(list, start)); });
}

}  // namespace tovalen::web
