#include "schedule/yoyaku_schedule.h"

#include <gmock/gmock.h>

#include <stdexcept>

#include "support/reservation.h"

namespace tovalen {
namespace {

using testing::Reservation;
using testing::Titles;

using ::testing::ElementsAre;

TEST(YoyakuSchedule, AddKeepsStartOrderAndEqualStartsInArrivalOrder) {
  CYoyakuSchedule schedule;
  EXPECT_EQ(schedule.GetYoyakuCount(), 0);
  EXPECT_TRUE(schedule.AddYoyaku(Reservation(200, 10, "b")));
  EXPECT_EQ(schedule.GetYoyaku(0).strTitle, "b");
  schedule.AddYoyaku(Reservation(100, 10, "a"));
  schedule.AddYoyaku(Reservation(300, 10, "d"));
  schedule.AddYoyaku(Reservation(200, 10, "c"));
  EXPECT_THAT(Titles(schedule.Items()), ElementsAre("a", "b", "c", "d"));
  EXPECT_EQ(schedule.GetYoyakuCount(), 4);
}

TEST(YoyakuSchedule, GetCopiesAndRefusesAnIndexPastTheEnd) {
  CYoyakuSchedule schedule;
  schedule.AddYoyaku(Reservation(100, 10, "a"));
  SYoyaku copy = schedule.GetYoyaku(0);
  copy.strTitle = "changed";
  EXPECT_EQ(schedule.GetYoyaku(0).strTitle, "a");
  try {
    schedule.GetYoyaku(1);
    FAIL() << "expected out_of_range";
  } catch (const std::out_of_range& error) {
    EXPECT_STREQ(error.what(), "invalid vector<T> subscript");
  }
}

TEST(YoyakuSchedule, DeletePastRemovesStartsBeforeTheCurrentSecond) {
  ScopedFakeClock clock(1000);
  CYoyakuSchedule schedule;
  for (Time32 t : {900, 999, 1000, 1001}) schedule.AddYoyaku(Reservation(t, 10, std::to_string(t)));
  EXPECT_TRUE(schedule.DeletePastYoyaku());
  EXPECT_THAT(Titles(schedule.Items()), ElementsAre("1000", "1001"));
  clock.Advance(1);
  schedule.DeletePastYoyaku();
  EXPECT_THAT(Titles(schedule.Items()), ElementsAre("1001"));
  clock.Set(0);
  schedule.DeletePastYoyaku();
  EXPECT_EQ(schedule.GetYoyakuCount(), 1);
  EXPECT_TRUE(schedule.ClearYoyaku());
  EXPECT_TRUE(schedule.DeletePastYoyaku());
  EXPECT_EQ(schedule.GetYoyakuCount(), 0);
}

TEST(YoyakuSchedule, ReplaceAllSortsStablySoAFutureReservationSurvivesThePurge) {
  ScopedFakeClock clock(1000);
  CYoyakuSchedule schedule;
  // File order [future, past, future with the same start]: unsorted this would lose the first.
  schedule.ReplaceAll(
      {Reservation(2000, 10, "future"), Reservation(500, 10, "past"), Reservation(2000, 10, "same start")});
  EXPECT_THAT(Titles(schedule.Items()), ElementsAre("past", "future", "same start"));
  schedule.DeletePastYoyaku();
  EXPECT_THAT(Titles(schedule.Items()), ElementsAre("future", "same start"));
}

TEST(YoyakuSchedule, RemoveThroughLastPastOnAnUnsortedListTakesEverythingBefore) {
  ScopedFakeClock clock(1000);
  std::vector<SYoyaku> list{Reservation(2000, 10, "future"), Reservation(500, 10, "past"),
                            Reservation(3000, 10, "later")};
  RemoveThroughLastPast(list);
  EXPECT_THAT(Titles(list), ElementsAre("later"));
}

}  // namespace
}  // namespace tovalen
