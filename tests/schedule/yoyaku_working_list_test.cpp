#include "schedule/yoyaku_working_list.h"

#include <gmock/gmock.h>

#include "schedule/yoyaku_schedule.h"

namespace tovalen {
namespace {

using ::testing::ElementsAre;

SYoyaku Make(Time32 start, Span32 length, const std::string& title) {
  SYoyaku y;
  y.timeStart = start;
  y.spanDuration = length;
  y.strTitle = title;
  return y;
}

std::vector<std::string> Titles(const CYoyakuWorkingList& list) {
  std::vector<std::string> titles;
  for (const auto& y : list.Items()) titles.push_back(y.strTitle);
  return titles;
}

class WorkingList : public ::testing::Test {
 protected:
  WorkingList() {
    schedule.AddYoyaku(Make(1000, 100, "a"));
    schedule.AddYoyaku(Make(2000, 100, "b"));
  }
  CYoyakuSchedule schedule;
};

TEST_F(WorkingList, InsertRefusesOverlapButAcceptsTouchingSpans) {
  CYoyakuWorkingList list(schedule);
  EXPECT_FALSE(list.InsertYoyaku(Make(1050, 10, "inside a")));
  EXPECT_FALSE(list.InsertYoyaku(Make(900, 101, "into a")));
  EXPECT_TRUE(list.InsertYoyaku(Make(900, 100, "ends as a starts")));
  EXPECT_TRUE(list.InsertYoyaku(Make(1100, 900, "between")));
  EXPECT_THAT(Titles(list), ElementsAre("ends as a starts", "a", "between", "b"));
  EXPECT_THAT(schedule.GetYoyakuCount(), 2);  // nothing reaches the schedule before WriteBack
}

TEST_F(WorkingList, ReplaceMayMoveWithinItsOwnSpanButNotIntoAnother) {
  CYoyakuWorkingList list(schedule);
  EXPECT_TRUE(list.ReplaceYoyaku(Make(1050, 100, "a moved"), 0));
  EXPECT_FALSE(list.ReplaceYoyaku(Make(1950, 100, "a into b"), 0));
  EXPECT_THAT(Titles(list), ElementsAre("a moved", "b"));
  EXPECT_TRUE(list.ReplaceYoyaku(Make(5000, 10, "a after b"), 0));
  EXPECT_THAT(Titles(list), ElementsAre("b", "a after b"));
  EXPECT_THROW(list.ReplaceYoyaku(Make(9000, 1, "x"), 2), std::out_of_range);
}

TEST_F(WorkingList, DeleteAndDeletePast) {
  ScopedFakeClock clock(1500);
  CYoyakuWorkingList list(schedule);
  EXPECT_FALSE(list.DeleteYoyaku(2));
  list.DeletePastYoyaku();
  EXPECT_THAT(Titles(list), ElementsAre("b"));
  EXPECT_TRUE(list.DeleteYoyaku(0));
  EXPECT_EQ(list.Count(), 0u);
}

TEST_F(WorkingList, WriteBackReplacesTheScheduleInStartOrder) {
  CYoyakuWorkingList list(schedule);
  list.DeleteYoyaku(1);
  list.InsertYoyaku(Make(500, 10, "early"));
  list.WriteBack(schedule);
  ASSERT_EQ(schedule.GetYoyakuCount(), 2);
  EXPECT_EQ(schedule.GetYoyaku(0).strTitle, "early");
  EXPECT_EQ(schedule.GetYoyaku(1).strTitle, "a");
}

}  // namespace
}  // namespace tovalen
