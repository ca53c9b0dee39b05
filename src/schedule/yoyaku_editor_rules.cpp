#include "schedule/yoyaku_editor_rules.h"

#include <cstdio>

#include "platform/clock.h"

namespace tovalen {

YoyakuTimeProblem CheckYoyakuTimes(std::int64_t start, std::int64_t end, std::int64_t now) {
  if (start < now) return YoyakuTimeProblem::kStartInPast;
  if (start > kLastTime32 || end > kLastTime32) return YoyakuTimeProblem::kBeyondStorable;
  if (start >= end) return YoyakuTimeProblem::kEndNotAfterStart;
  return YoyakuTimeProblem::kNone;
}

std::string YoyakuTimeProblemMessage(YoyakuTimeProblem problem) {
  switch (problem) {
    case YoyakuTimeProblem::kNone:
      return {};
    case YoyakuTimeProblem::kStartInPast:
      return "録画開始時刻を未来の時刻にしてください。";
    case YoyakuTimeProblem::kBeyondStorable:
      return "2038年1月19日 03:14:07 (UTC) より後の日時は予約ファイルに保存できません。";
    case YoyakuTimeProblem::kEndNotAfterStart:
      return "録画終了時間を録画開始時間よりも後にしてください。";
  }
  return {};
}

std::string FormatEditorLabel(const LocalDateTime& when) {
  char label[128];
  std::snprintf(label, sizeof label, "%04d年 %02d月 %02d日 %02d時 %02d分 %2d秒", when.year, when.month, when.day,
                when.hour, when.minute, when.second);
  return label;
}

}  // namespace tovalen
