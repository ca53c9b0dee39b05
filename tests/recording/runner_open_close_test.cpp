#include <gmock/gmock.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/atomic_file.h"
#include "recording/late_start_file_name.h"
#include "runner_test.h"
#include "support/fake_logind.h"
#include "support/trace_capture.h"
#include "support/wait_until.h"

namespace tovalen::testing {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Pair;

using RunnerOpening = RunnerTest;
using RunnerClosing = RunnerTest;

// Finds one leftover in each folder it is asked about. A recovery waits until the test releases
// it (ten seconds at most, then it gives up and says so) and reports `result`.
class BlockingRecovery : public LeftoverRecovery {
 public:
  explicit BlockingRecovery(LeftoverReport::Result result, bool released = false)
      : m_result(result), m_released(released) {}
  std::vector<std::string> FindLeftovers(const std::string& folder) const override {
    std::lock_guard lock(m_mutex);
    m_searched.push_back(folder);
    return {folder + "/x.recording-abcdef.avi"};
  }
  LeftoverReport Recover(const std::string& leftover) override {
    std::unique_lock lock(m_mutex);
    if (!m_release.wait_for(lock, std::chrono::seconds(10), [this] { return m_released; })) m_gaveUp = true;
    return {leftover, m_result, leftover + ".avi", 3, 0.1, "damaged"};
  }
  void Release() {
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_release.notify_all();
  }
  std::vector<std::string> Searched() const {
    std::lock_guard lock(m_mutex);
    return m_searched;
  }
  bool GaveUp() const {
    std::lock_guard lock(m_mutex);
    return m_gaveUp;
  }

 private:
  const LeftoverReport::Result m_result;
  mutable std::mutex m_mutex;
  std::condition_variable m_release;
  bool m_released;
  bool m_gaveUp = false;
  mutable std::vector<std::string> m_searched;
};

// Waits (ten seconds at most) until the runner has rebuilt every leftover, then lets it pass the
// reports on.
bool AwaitLeftoversDone(CRecordingRunner& runner) {
  WaitUntil([&] { return !runner.IsRecoveringLeftovers(); }, std::chrono::seconds(10));
  runner.PassOnLeftoverReports();
  return !runner.IsRecoveringLeftovers();
}

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

TEST_F(RunnerOpening, RecoversLeftoversBesideTheTimetableWithoutDelayingAStart) {
  const std::string a = dir.File("a"), b = dir.File("b");
  Add(-60, 10, "a/killed.avi");
  Add(1, 10, "b/next.avi");
  Add(120, 10, "a/later.avi");
  auto recovery = std::make_shared<BlockingRecovery>(LeftoverReport::Result::kRecovered);
  InstallLeftoverRecovery(recovery);
  TraceCapture trace;
  runner.Open();
  InstallLeftoverRecovery(nullptr);
  window.notes.clear();  // the past reservation dropped

  // The first leftover is still being rebuilt when the start falls due.
  RunUntil(1);
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(1));
  EXPECT_THAT(window.notes, IsEmpty());
  EXPECT_TRUE(runner.IsRecoveringLeftovers());
  recovery->Release();
  ASSERT_TRUE(AwaitLeftoversDone(runner));

  EXPECT_FALSE(recovery->GaveUp());
  EXPECT_THAT(recovery->Searched(), ElementsAre(a, b));
  EXPECT_THAT(window.notes, ElementsAre("recovered " + a + "/x.recording-abcdef.avi as " + a +
                                            "/x.recording-abcdef.avi.avi: 3 frames, 0.1 s",
                                        "recovered " + b + "/x.recording-abcdef.avi as " + b +
                                            "/x.recording-abcdef.avi.avi: 3 frames, 0.1 s"));
  ASSERT_EQ(runner.GetLeftoverReports().size(), 2u);
  EXPECT_THAT(trace.Text(), HasSubstr("D: CDlgRecStart::OnInitDialog() recovered " + a + "/x.recording-abcdef.avi as " +
                                      a + "/x.recording-abcdef.avi.avi: 3 frames, 0.1 s\n"));
  EXPECT_TRUE(runner.Close());
}

TEST_F(RunnerOpening, ALeftoverThatCannotBeRebuiltIsReportedOnceWhileItStaysAsItWas) {
  Add(60, 10, "a/next.avi");
  std::filesystem::create_directories(dir.File("a"));
  const std::string leftover = dir.File("a/x.recording-abcdef.avi");
  WriteFileBytes(leftover, "damaged");
  auto recovery = std::make_shared<BlockingRecovery>(LeftoverReport::Result::kFailed, true);
  InstallLeftoverRecovery(recovery);
  const auto openAndClose = [&] {
    FakeRunnerWindow window;
    CRecordingRunner runner(window);
    runner.SetSchedule(schedule);
    runner.Open();
    EXPECT_TRUE(AwaitLeftoversDone(runner));
    EXPECT_TRUE(runner.Close());
    return window.notes;
  };
  const std::vector<std::string> first = openAndClose();
  const std::vector<std::string> second = openAndClose();
  WriteFileBytes(leftover, "damaged further");
  const std::vector<std::string> changed = openAndClose();
  InstallLeftoverRecovery(nullptr);

  const std::string told = "not recovered " + leftover + ": damaged; left as it is";
  EXPECT_THAT(first, ElementsAre(told));
  EXPECT_THAT(second, IsEmpty());
  EXPECT_THAT(changed, ElementsAre(told));
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
  Add(0, 2, "now.avi");
  // The purge reads the clock in the second of the start; arming reads it a second later.
  int reads = 0;
  const Clock::Source fixture = Clock::SetSource([&reads] { return kT0 + (reads++ == 0 ? 0 : 1); });
  const Clock::Source fixtureMs = Clock::SetMsSource([&reads] { return (kT0 + (reads == 0 ? 0 : 1)) * 1000; });
  TraceCapture trace;
  runner.Open();
  Clock::SetSource(fixture);
  Clock::SetMsSource(fixtureMs);

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

TEST_F(RunnerOpening, AReservationUnderWayIsDroppedByDefaultAndEveryDropIsTold) {
  const SYoyaku ended = Add(-120, 10, "ended.avi");
  const SYoyaku underWay = Add(-30, 60, "under_way.avi");
  Add(100, 10, "next.avi");
  TraceCapture trace;
  runner.Open();

  EXPECT_EQ(schedule.GetYoyakuCount(), 1);
  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(100'000))));
  EXPECT_THAT(window.notes, ElementsAre("開始時刻を 120 秒過ぎた予約は録画しません: " + ended.GetListText(),
                                        "開始時刻を 30 秒過ぎた予約は録画しません: " + underWay.GetListText()));
  EXPECT_THAT(trace.Text(), HasSubstr("D: 開始時刻を 30 秒過ぎた予約は録画しません: " + underWay.GetListText() + "\n"));
}

TEST_F(RunnerOpening, WithLateStartTheReservationUnderWayRecordsUntilItsOwnEndBesideWhatItRecorded) {
  const SYoyaku ended = Add(-120, 10, "ended.avi");
  const SYoyaku underWay = Add(-30, 60, "under_way.avi");
  Add(100, 10, "next.avi");
  WriteFileBytes(underWay.strFileName, "recorded before the run was killed");
  runner.SetLateStart(LateStart::kRecordRemainder);
  runner.Open();

  EXPECT_EQ(schedule.GetYoyakuCount(), 2);
  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(0)), Pair(2u, milliseconds(100'000))));
  RunUntil(0);
  EXPECT_THAT(
      window.notes,
      ElementsAre("開始時刻を 120 秒過ぎた予約は録画しません: " + ended.GetListText(),
                  "開始済みの予約を 30 秒遅れで録画します (残り 30 秒): " + underWay.GetListText(),
                  "録画済みのファイルを残すため、残りを別の名前に録画します: " + dir.File("under_way (late).avi")));
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("under_way (late).avi")));
  EXPECT_EQ(window.shown[window.shown.size() - 2].display.recordSeconds, 30);
  EXPECT_EQ(Clock::Now(), kT0 + 31);  // its end and the stop rule's extra second, no further
  RunUntil(200);
  EXPECT_EQ(runner.GetRecordedCount(), 2);
  EXPECT_TRUE(runner.Close());
  EXPECT_EQ(schedule.GetYoyakuCount(), 0);
}

// Recovery places a leftover "NAME.recording-XXXXXX.avi" at NAME.avi: a late start leaves that
// name to it as well, and every name derived from its own still fits a folder entry.
TEST(LateStartName, TakesTheFirstNameThatNeitherAFileNorALeftoverHolds) {
  TempDir dir;
  const std::string target = dir.File("a.avi");
  EXPECT_EQ(LateStartFileName(target), target);
  WriteFileBytes(dir.File("a.recording-Xy12Z9.avi"), "");
  WriteFileBytes(dir.File("a (late).avi"), "");
  WriteFileBytes(dir.File("a (late 2).recording-abcdef.avi"), "");
  WriteFileBytes(dir.File("a (late 3).recording-abc.avi"), "");  // not a leftover's form
  EXPECT_EQ(LateStartFileName(target), dir.File("a (late 3).avi"));
  // A stream's copy leaves "NAME.recording-XXXXXX.mkv", which recovery places at NAME.mkv.
  WriteFileBytes(dir.File("b.recording-Xy12Z9.mkv"), "");
  EXPECT_EQ(LateStartFileName(dir.File("b.mkv")), dir.File("b (late).mkv"));

  const std::string stem(233, 'x');  // with ".avi" the longest name that leaves room for 18 bytes more
  WriteFileBytes(dir.File(stem + ".avi"), "");
  const std::optional<std::string> cut = LateStartFileName(dir.File(stem + ".avi"));
  ASSERT_TRUE(cut.has_value());
  EXPECT_EQ(std::filesystem::path(*cut).filename().string(), std::string(233 - 7, 'x') + " (late).avi");
}

TEST_F(RunnerOpening, WithLateStartFewerThanFiveSecondsLeftAreDropped) {
  const SYoyaku fourLeft = Add(-60, 64, "four_left.avi");
  Add(-10, 15, "five_left.avi");
  runner.SetLateStart(LateStart::kRecordRemainder);
  runner.Open();

  EXPECT_THAT(window.notes, ElementsAre("開始時刻を 60 秒過ぎた予約は録画しません: " + fourLeft.GetListText()));
  RunUntil(0);
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("five_left.avi")));
  EXPECT_EQ(Clock::Now(), kT0 + 6);
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
  EXPECT_THAT(trace.Text(), HasSubstr("D: CVideoCap::Capture() success\nD: entering CVideoCap::Standby()\n"));
  EXPECT_TRUE(runner.Close());
  EXPECT_FALSE(runner.ShouldClose());
  EXPECT_THAT(window.kills, ::testing::Contains(2u));
  ASSERT_EQ(schedule.GetYoyakuCount(), 1);  // the recorded one is purged, the later one stays
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
}

TEST_F(RunnerClosing, KeepsTheMachineAwakeFromOpeningUntilClosed) {
  FakeLogind logind;
  const SYoyaku a = Add(10, 1, "a.avi");
  const SYoyaku b = Add(20, 1, "b.avi");
  std::vector<std::string> heldWhileRecording;
  ON_CALL(*driver, FileSaveAs).WillByDefault([&](auto, const std::string&) {
    heldWhileRecording = logind.HeldWhys();
    return true;
  });
  runner.Open();
  EXPECT_THAT(logind.HeldWhys(), ElementsAre("録画予約 " + a.GetListText()));

  RunUntil(15);
  EXPECT_THAT(heldWhileRecording, ElementsAre("録画予約 " + a.GetListText()));
  EXPECT_TRUE(logind.AwaitHeld({"録画予約 " + b.GetListText()}));
  for (const FakeLogind::Lock& lock : logind.Locks()) EXPECT_EQ(lock.what + " " + lock.mode, "sleep block");

  // At 終了 nothing is left to wait for: the machine may sleep, until a reservation is added.
  RunUntil(30);
  EXPECT_EQ(runner.GetDisplay().activity, "終了");
  EXPECT_TRUE(logind.AwaitHeld({}));
  const SYoyaku added = Make(100, 1, dir.File("added.avi"));
  runner.Replan({added});
  EXPECT_TRUE(logind.AwaitHeld({"録画予約 " + added.GetListText()}));
  runner.Replan({});
  EXPECT_EQ(runner.GetDisplay().activity, "終了");
  EXPECT_TRUE(logind.AwaitHeld({}));
}

TEST_F(RunnerClosing, LetsTheMachineSleepWhenNothingIsLeftToDo) {
  FakeLogind logind;
  Add(-10, 1, "past.avi");
  runner.Open();
  EXPECT_EQ(runner.GetDisplay().activity, "予約なし");
  EXPECT_TRUE(logind.AwaitHeld({}));
  EXPECT_THAT(logind.Locks(), IsEmpty());
}

}  // namespace
}  // namespace tovalen::testing
