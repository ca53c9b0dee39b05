#include <gmock/gmock.h>

#include "runner_test.h"

namespace tovalen::testing {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::Pair;

using RunnerReplanning = RunnerTest;

TEST_F(RunnerReplanning, PlansTheNewContentsWithoutWhatHasRunOrPassed) {
  const SYoyaku done = Add(10, 1, "done.avi");
  const SYoyaku failed = Add(50, 1, "");  // fails at once, in the second it started
  Add(100, 1, "moved.avi");
  runner.Open();
  RunUntil(50);
  ASSERT_EQ(savedFiles.size(), 1u);
  ASSERT_EQ(runner.GetFailedCount(), 1);
  window.arms.clear();
  TakeShown();

  const SYoyaku moved = Make(60, 1, dir.File("moved.avi"));
  const SYoyaku added = Make(80, 1, dir.File("added.avi"));
  // The file still holds the two that ran, and an edit put another one in the past.
  runner.Replan({done, Make(40, 1, dir.File("late.avi")), failed, added, moved});

  EXPECT_EQ(schedule.Items(), (std::vector<SYoyaku>{moved, added}));
  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(10'000)), Pair(2u, milliseconds(30'000))));
  EXPECT_THAT(TakeShown(), ElementsAre("予約待機中 | " + moved.GetListText()));
  EXPECT_EQ(runner.GetWaitingCount(), 2);
  RunUntil(200);
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(10, 50, 60, 80));
  EXPECT_EQ(runner.GetRecordedCount(), 3);
  EXPECT_EQ(runner.GetFailedCount(), 1);

  runner.Replan({});
  EXPECT_FALSE(runner.HasReservationsLeft());
}

TEST_F(RunnerReplanning, KeepsAWaitingReservationWhoseTimerIsAboutToFire) {
  const SYoyaku due = Add(10, 5, "due.avi");
  runner.Open();
  clock.Set(kT0 + 11);  // the start has passed; its timer has not been delivered yet
  window.arms.clear();

  runner.Replan({due});

  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(0))));
  RunUntil(60);
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(11));
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("due.avi")));
  EXPECT_FALSE(window.NextTimer());
}

}  // namespace
}  // namespace tovalen::testing
