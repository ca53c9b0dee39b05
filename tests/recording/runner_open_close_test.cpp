#include <gmock/gmock.h>

#include "runner_test.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Pair;
using std::chrono::milliseconds;

using RunnerOpening = RunnerTest;
using RunnerClosing = RunnerTest;

TEST_F(RunnerOpening, AnEmptyScheduleHasNothingToDo) {
  Add(-10, 5, "past.avi");
  TraceCapture trace;
  runner.Open();

  EXPECT_EQ(schedule.GetYoyakuCount(), 0);
  EXPECT_THAT(TakeShown(), ElementsAre("予約なし | "));
  EXPECT_EQ(runner.GetDisplay().state, RunnerState::kNothingToDo);
  EXPECT_THAT(window.arms, IsEmpty());
  EXPECT_THAT(trace.Text(), Not(HasSubstr("Standby")));
  EXPECT_FALSE(runner.HasReservationsLeft());
  EXPECT_EQ(CActiveRunner::GetActive(), &runner);
}

TEST_F(RunnerOpening, PurgesThePastAndArmsOneTimerPerReservation) {
  Add(-120, 10, "past1.avi");
  Add(-60, 10, "past2.avi");
  const SYoyaku first = Add(60, 10, "first.avi");
  Add(120, 10, "second.avi");
  TraceCapture trace;
  runner.Open();

  ASSERT_EQ(schedule.GetYoyakuCount(), 2);
  EXPECT_EQ(schedule.GetYoyaku(0), first);
  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(60'000)), Pair(2u, milliseconds(120'000))));
  EXPECT_THAT(trace.Text(), HasSubstr("D: yoyakuId = 0 , 60秒後\nD: yoyakuId = 1 , 120秒後\n"));
  EXPECT_THAT(trace.Text(), HasSubstr("D: entering CVideoCap::Standby()\n"));
  EXPECT_THAT(TakeShown(), ElementsAre("予約待機中 | " + first.GetListText()));
  EXPECT_TRUE(runner.HasReservationsLeft());
}

TEST_F(RunnerOpening, AStartInTheSecondOfOpeningFiresAtOnce) {
  Add(0, 1, "now.avi");
  TraceCapture trace;
  runner.Open();

  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(0))));
  EXPECT_THAT(trace.Text(), HasSubstr("D: yoyakuId = 0 , 0秒後\n"));
  RunUntil(0);
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(0));
}

TEST_F(RunnerOpening, AStartPassedSinceThePurgeFiresAtOnce) {
  Add(0, 1, "now.avi");
  // The purge reads the clock in the second of the start; arming reads it a second later.
  int reads = 0;
  const Clock::Source fixture = Clock::SetSource([&reads] { return kT0 + (reads++ == 0 ? 0 : 1); });
  TraceCapture trace;
  runner.Open();
  Clock::SetSource(fixture);

  EXPECT_EQ(schedule.GetYoyakuCount(), 1);
  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(0))));
  EXPECT_THAT(trace.Text(), HasSubstr("D: yoyakuId = 0 , -1秒後\n"));
  RunUntil(1);
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(1));
}

TEST_F(RunnerOpening, AFarReservationIsArmedAgainUntilItsStart) {
  constexpr std::int64_t kSixtyDays = 60 * 86'400;  // beyond both 2^31 and 2^32 milliseconds
  Add(kSixtyDays, 1, "far.avi");
  TraceCapture trace;
  runner.Open();
  RunUntil(kSixtyDays - 1);

  const milliseconds longest = CRecordingRunner::kLongestTimerDelay;
  EXPECT_LE(longest.count(), INT32_MAX);
  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, longest), Pair(1u, longest),
                                       Pair(1u, milliseconds((kSixtyDays - 2 * 2'147'483) * 1000))));
  EXPECT_THAT(trace.Text(), HasSubstr("D: yoyakuId = 0 , 5184000秒後\n"));
  EXPECT_THAT(trace.Text(), HasSubstr("D: yoyakuId = 0 , 889034秒後\n"));
  EXPECT_THAT(ShownAt("録画開始中"), IsEmpty());

  RunUntil(kSixtyDays + 10);
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(kSixtyDays));
}

TEST_F(RunnerClosing, CancelWhileWaitingKillsEveryTimerAndKeepsTheSchedule) {
  Add(10, 1, "a.avi");
  Add(20, 1, "b.avi");
  runner.Open();
  EXPECT_TRUE(runner.Close());

  EXPECT_THAT(window.kills, ElementsAre(1u, 2u));
  EXPECT_EQ(schedule.GetYoyakuCount(), 2);
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
  EXPECT_FALSE(runner.HasReservationsLeft());
}

TEST_F(RunnerClosing, RemovesWhatHasStartedAndLeavesTheRest) {
  Add(10, 1, "a.avi");
  const SYoyaku later = Add(100, 1, "b.avi");
  runner.Open();
  RunUntil(20);
  runner.Close();

  EXPECT_THAT(savedFiles, ElementsAre(dir.File("a.avi")));
  ASSERT_EQ(schedule.GetYoyakuCount(), 1);
  EXPECT_EQ(schedule.GetYoyaku(0), later);
  EXPECT_FALSE(window.NextTimer().has_value());
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
}

TEST_F(RunnerClosing, IsRefusedWhileACaptureRunsAndRememberedForAfterIt) {
  Add(10, 2, "a.avi");
  Add(30, 2, "b.avi");
  runner.Open();
  bool closed = true;
  bool closeSeenDuringCapture = true;
  ON_CALL(*driver, FileAlloc).WillByDefault([&](auto, auto) {
    closed = runner.Close();
    runner.Close();  // asked twice, traced once
    closeSeenDuringCapture = runner.ShouldClose();
    return true;
  });
  TraceCapture trace;
  RunUntil(20);

  EXPECT_FALSE(closed);
  EXPECT_FALSE(closeSeenDuringCapture);  // the recording must return first
  EXPECT_TRUE(runner.ShouldClose());
  EXPECT_EQ(CActiveRunner::GetActive(), &runner);
  EXPECT_EQ(runner.GetDisplay().activity, "予約待機中");
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("a.avi")));
  const std::string note = "D: CDlgRecStart: closes after this recording\n";
  EXPECT_EQ(trace.Text().find(note), trace.Text().rfind(note));
  EXPECT_THAT(trace.Text(), HasSubstr(note));
  EXPECT_TRUE(runner.Close());
  EXPECT_FALSE(runner.ShouldClose());
  EXPECT_THAT(window.kills, ::testing::Contains(2u));
  ASSERT_EQ(schedule.GetYoyakuCount(), 1);  // the recorded one is purged, the later one stays
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
}

}  // namespace
}  // namespace tovalen::testing
