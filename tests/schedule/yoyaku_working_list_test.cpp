#include "schedule/yoyaku_working_list.h"

#include <gmock/gmock.h>

#include "schedule/yoyaku_schedule.h"
#include "support/reservation.h"

namespace tovalen {
namespace {

using ::testing::ElementsAre;

using testing::Reservation;
using testing::Titles;

class WorkingList : public ::testing::Test {
 protected:
  WorkingList() {
    schedule.AddYoyaku(Reservation(1000, 100, "a"));
    schedule.AddYoyaku(Reservation(2000, 100, "b"));
  }
  CYoyakuSchedule schedule;
};

TEST_F(WorkingList, InsertRefusesOverlapButAcceptsTouchingSpans) {
  CYoyakuWorkingList list(schedule);
  EXPECT_FALSE(list.InsertYoyaku(Reservation(1050, 10, "inside a")));
  EXPECT_FALSE(list.InsertYoyaku(Reservation(900, 101, "into a")));
  EXPECT_TRUE(list.InsertYoyaku(Reservation(900, 100, "ends as a starts")));
  EXPECT_TRUE(list.InsertYoyaku(Reservation(1100, 900, "between")));
  EXPECT_THAT(Titles(list.Items()), ElementsAre("ends as a starts", "a", "between", "b"));
  EXPECT_THAT(schedule.GetYoyakuCount(), 2);  // nothing reaches the schedule before WriteBack
}

TEST_F(WorkingList, ReplaceMayMoveWithinItsOwnSpanButNotIntoAnother) {
  CYoyakuWorkingList list(schedule);
  EXPECT_TRUE(list.ReplaceYoyaku(Reservation(1050, 100, "a moved"), 0));
  EXPECT_FALSE(list.ReplaceYoyaku(Reservation(1950, 100, "a into b"), 0));
  EXPECT_THAT(Titles(list.Items()), ElementsAre("a moved", "b"));
  EXPECT_TRUE(list.ReplaceYoyaku(Reservation(5000, 10, "a after b"), 0));
  EXPECT_THAT(Titles(list.Items()), ElementsAre("b", "a after b"));
  EXPECT_THROW(list.ReplaceYoyaku(Reservation(9000, 1, "x"), 2), std::out_of_range);
}

TEST_F(WorkingList, DeleteAndDeletePast) {
  ScopedFakeClock clock(1500);
  CYoyakuWorkingList list(schedule);
  EXPECT_FALSE(list.DeleteYoyaku(2));
  list.DeletePastYoyaku();
  EXPECT_THAT(Titles(list.Items()), ElementsAre("b"));
  EXPECT_TRUE(list.DeleteYoyaku(0));
  EXPECT_EQ(list.Count(), 0u);
}

TEST_F(WorkingList, WriteBackReplacesTheScheduleInStartOrder) {
  CYoyakuWorkingList list(schedule);
  list.DeleteYoyaku(1);
  list.InsertYoyaku(Reservation(500, 10, "early"));
  list.WriteBack(schedule);
  ASSERT_EQ(schedule.GetYoyakuCount(), 2);
  EXPECT_EQ(schedule.GetYoyaku(0).strTitle, "early");
  EXPECT_EQ(schedule.GetYoyaku(1).strTitle, "a");
}

}  // namespace
}  // namespace tovalen
