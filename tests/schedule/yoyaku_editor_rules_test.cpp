#include "schedule/yoyaku_editor_rules.h"

#include <gtest/gtest.h>

namespace tovalen {
namespace {

TEST(YoyakuEditorRules, ChecksRunInOrderAndTheCurrentSecondPasses) {
  const std::int64_t now = 1000;
  EXPECT_EQ(CheckYoyakuTimes(now, now + 1, now), YoyakuTimeProblem::kNone);
  EXPECT_EQ(CheckYoyakuTimes(now - 1, now - 5, now), YoyakuTimeProblem::kStartInPast);
  EXPECT_EQ(CheckYoyakuTimes(now, now, now), YoyakuTimeProblem::kEndNotAfterStart);
  EXPECT_EQ(CheckYoyakuTimes(now + 10, now + 5, now), YoyakuTimeProblem::kEndNotAfterStart);
}

TEST(YoyakuEditorRules, TimesThatTheFileCannotHoldAreRefused) {
  const std::int64_t last = INT32_MAX;
  EXPECT_EQ(CheckYoyakuTimes(last - 1, last, 0), YoyakuTimeProblem::kNone);
  EXPECT_EQ(CheckYoyakuTimes(last - 1, last + 1, 0), YoyakuTimeProblem::kBeyondStorable);
  EXPECT_EQ(CheckYoyakuTimes(last + 10, last + 5, 0), YoyakuTimeProblem::kBeyondStorable);
}

TEST(YoyakuEditorRules, MessagesAreTheEditorTexts) {
  EXPECT_EQ(YoyakuTimeProblemMessage(YoyakuTimeProblem::kStartInPast), "録画開始時刻を未来の時刻にしてください。");
  EXPECT_EQ(YoyakuTimeProblemMessage(YoyakuTimeProblem::kEndNotAfterStart),
            "録画終了時間を録画開始時間よりも後にしてください。");
  EXPECT_NE(YoyakuTimeProblemMessage(YoyakuTimeProblem::kBeyondStorable).find("2038"), std::string::npos);
  EXPECT_EQ(YoyakuTimeProblemMessage(YoyakuTimeProblem::kNone), "");
}

TEST(YoyakuEditorRules, LabelPadsSecondsWithASpaceAndTheRestWithZeros) {
  EXPECT_EQ(FormatEditorLabel({2026, 3, 4, 5, 6, 7}), "2026年 03月 04日 05時 06分  7秒");
  EXPECT_EQ(FormatEditorLabel({2026, 12, 31, 23, 59, 59}), "2026年 12月 31日 23時 59分 59秒");
}

}  // namespace
}  // namespace tovalen
