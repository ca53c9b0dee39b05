#include "cli/timer_queue.h"

#include <gmock/gmock.h>

namespace tovalen::cli {
namespace {

using std::chrono::seconds;

const TimerQueue::TimePoint kT0{seconds(1'700'000'000)};

TEST(TimerQueue, HandsOutDueTimersEarliestFirstAndTiesInArmingOrder) {
  TimerQueue timers;
  timers.Arm(3, kT0 + seconds(5));
  timers.Arm(2, kT0 + seconds(5));
  timers.Arm(1, kT0 + seconds(9));
  EXPECT_EQ(timers.NextDue(), kT0 + seconds(5));

  EXPECT_EQ(timers.TakeDue(kT0 + seconds(4)), std::nullopt);
  EXPECT_EQ(timers.TakeDue(kT0 + seconds(10)), 3u);
  EXPECT_EQ(timers.TakeDue(kT0 + seconds(10)), 2u);
  EXPECT_EQ(timers.TakeDue(kT0 + seconds(10)), 1u);
  EXPECT_TRUE(timers.Empty());
  EXPECT_EQ(timers.NextDue(), std::nullopt);
}

TEST(TimerQueue, ArmingAgainReplacesAndKillingDisarms) {
  TimerQueue timers;
  timers.Arm(1, kT0 + seconds(5));
  timers.Arm(2, kT0 + seconds(6));
  timers.Arm(1, kT0 + seconds(8));
  timers.Kill(2);
  timers.Kill(7);
  EXPECT_EQ(timers.TakeDue(kT0 + seconds(7)), std::nullopt);
  EXPECT_EQ(timers.TakeDue(kT0 + seconds(8)), 1u);
  EXPECT_TRUE(timers.Empty());
}

}  // namespace
}  // namespace tovalen::cli
