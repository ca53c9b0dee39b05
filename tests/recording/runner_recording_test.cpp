#include <gmock/gmock.h>

#include "fake_capture_listener.h"
#include "runner_test.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using std::chrono::milliseconds;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::Return;

using RunnerRecording = RunnerTest;

// Everything shown while a one-second reservation is recorded: frames at 0 to 2000 ms, the
// last one beyond the length.
std::vector<std::string> OneSecondRecording(const SYoyaku& yoyaku) {
  std::vector<std::string> texts{"録画開始中 | " + yoyaku.GetListText()};
  for (int frame = 0; frame < 5; ++frame) {
    texts.push_back("録画中 " + std::to_string(frame) + " frame | " + yoyaku.GetListText());
  }
  return texts;
}

int StandbyRequests(const std::string& trace) {
  const std::string request = "D: entering CVideoCap::Standby()\n";
  int count = 0;
  for (auto at = trace.find(request); at != std::string::npos; at = trace.find(request, at + 1)) ++count;
  return count;
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(RunnerRecording, ShowsEachStateThroughTwoReservations) {
  const SYoyaku a = Add(10, 1, "a.avi");
  const SYoyaku b = Add(20, 1, "b.avi");
  // The main window's listener goes on hearing each recording; the device is released only once
  // Capture has returned, never from inside it.
  FakeCaptureListener mainWindow;
  cap->SetCaptureListener(&mainWindow);
  ON_CALL(*driver, DriverDisconnect).WillByDefault([&](auto) {
    mainWindow.calls.push_back("disconnect");
    return true;
  });
  TraceCapture trace;
  runner.Open();
  RunUntil(60);

  const auto frames =
      std::erase_if(mainWindow.calls, [](const std::string& call) { return call.starts_with("frame"); });
  EXPECT_EQ(frames, 10u);
  EXPECT_THAT(mainWindow.calls,
              ElementsAre(HasSubstr("start"), "end", "disconnect", HasSubstr("start"), "end", "disconnect"));
  EXPECT_EQ(cap->SetCaptureListener(nullptr), &mainWindow);
  ::testing::Mock::VerifyAndClear(driver);  // its action refers to mainWindow, which goes first
  EXPECT_EQ(TakeShown(), Join({{"予約待機中 | " + a.GetListText()},
                               OneSecondRecording(a),
                               {"予約待機中 | " + b.GetListText()},
                               OneSecondRecording(b),
                               {"終了 | "}}));
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(10, 20));
  // The last frame, two seconds in, is the one the controller stopped at.
  const RunnerDisplay& lastFrame = window.shown[window.shown.size() - 2].display;
  EXPECT_EQ(lastFrame.elapsedMs, 2000);
  EXPECT_EQ(lastFrame.recordSeconds, 1);
  EXPECT_THAT(trace.Text(), HasSubstr("D: CDlgRecStart::OnTimer() nIDEvent = 2, 録画時間 = 1秒\n"));
  EXPECT_EQ(StandbyRequests(trace.Text()), 3);  // at opening and after each recording
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("a.avi"), dir.File("b.avi")));
  EXPECT_EQ(runner.GetDisplay().state, RunnerState::kFinished);
  EXPECT_EQ(runner.GetRecordedCount(), 2);
  EXPECT_EQ(runner.GetFailedCount(), 0);
  EXPECT_FALSE(runner.HasReservationsLeft());
}

TEST_F(RunnerRecording, TimerIdsOutsideTheScheduleAreTracedAndIgnored) {
  Add(10, 1, "a.avi");
  Add(20, 1, "b.avi");
  runner.Open();
  TakeShown();
  EXPECT_CALL(*driver, CreateCaptureWindow).Times(0);
  TraceCapture trace;
  runner.OnTimer(0);
  runner.OnTimer(3);

  EXPECT_EQ(trace.Text(),
            "E: CDlgRecStart::OnTimer() nIDEvent out of range\n"
            "E: CDlgRecStart::OnTimer() nIDEvent out of range\n");
  EXPECT_THAT(TakeShown(), IsEmpty());
  EXPECT_THAT(window.kills, ElementsAre(0u, 3u));
  EXPECT_TRUE(runner.HasReservationsLeft());
}

enum class Fault { kWakeUp, kFolderMissing, kEmptyFileName, kSequence, kSave };

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
  constexpr const char* kNames[] = {"WakeUp", "FolderMissing", "EmptyFileName", "Sequence", "Save"};
  return kNames[static_cast<int>(info.param)];
}

class RunnerFault : public RunnerTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(RunnerFault, ShowsTheErrorWithItsReasonAndTheNextReservationStillRecords) {
  const Fault fault = GetParam();
  const char* failing = fault == Fault::kFolderMissing   ? "missing/a.avi"
                        : fault == Fault::kEmptyFileName ? ""
                                                         : "a.avi";
  const SYoyaku a = Add(10, 1, failing);
  const SYoyaku b = Add(20, 1, "b.avi");
  if (fault == Fault::kWakeUp) EXPECT_CALL(*driver, DriverConnect).WillOnce(Return(false)).WillRepeatedly(Return(true));
  failSequences = fault == Fault::kSequence ? 1 : 0;
  failSaves = fault == Fault::kSave ? 1 : 0;
  // The driver's account: a full disk ends the sequence; a save it refuses says nothing more.
  CaptureOutcome diskFull;
  diskFull.reason = StopReason::kDiskFull;
  diskFull.detail = "No space left on device";
  ON_CALL(*driver, LastOutcome).WillByDefault(Return(fault == Fault::kSequence ? diskFull : CaptureOutcome{}));
  TraceCapture trace;
  runner.Open();
  RunUntil(15);

  EXPECT_EQ(runner.GetDisplay().activity, "キャプチャ開始時にエラー発生");
  EXPECT_EQ(runner.GetDisplay().nextReservation, a.GetListText());
  EXPECT_THAT(trace.Text(), HasSubstr("E: CDlgRecStart::OnTimer() KickCaptureDevice failed\n"));
  const char* kReasons[] = {"キャプチャデバイスを準備できませんでした", "missing/a.avi に書き込めませんでした",
                            "録画ファイルの名前がありません", "ディスクがいっぱいです (No space left on device)",
                            "録画を保存できませんでした: cannot save as "};
  ASSERT_FALSE(window.shown.empty());
  EXPECT_THAT(window.shown.back().display.failure, HasSubstr(kReasons[static_cast<int>(fault)]));
  if (fault == Fault::kSequence) {
    EXPECT_THAT(trace.Text(), HasSubstr("E: CVideoCap::Capture() 録画に失敗しました: ディスクがいっぱいです"));
  }
  if (fault == Fault::kFolderMissing) {
    EXPECT_THAT(ui->messages, ElementsAre("ファイルの書き込み 失敗!"));
  }

  TakeShown();
  RunUntil(60);
  EXPECT_EQ(TakeShown(), Join({OneSecondRecording(b), {"終了 | "}}));
  EXPECT_EQ(window.shown.back().display.failure, "");  // gone with the error
  EXPECT_THAT(ShownAt("録画開始中"), Contains(20));
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("b.avi")));
  EXPECT_EQ(runner.GetRecordedCount(), 1);
  EXPECT_EQ(runner.GetFailedCount(), 1);
  EXPECT_EQ(StandbyRequests(trace.Text()), 2);  // none after the failure
}

TEST_F(RunnerRecording, ARecordingThroughADevicesTroubleCountsAsRecordedAndSaysWhy) {
  const SYoyaku a = Add(10, 1, "a.avi");
  CaptureOutcome interrupted;  // the driver recorded on through it and saved what came
  interrupted.reason = StopReason::kDeviceLost;
  interrupted.detail = "end of stream; gone at the end";
  interrupted.interrupted = true;
  ON_CALL(*driver, LastOutcome).WillByDefault(Return(interrupted));
  runner.Open();
  RunUntil(15);
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("a.avi")));
  EXPECT_EQ(runner.GetRecordedCount(), 1);
  EXPECT_EQ(runner.GetDisplay().activity, "終了");
  EXPECT_THAT(window.notes,
              Contains(HasSubstr("キャプチャデバイスが動かなくなりました (end of stream; gone at the end)")));
}

INSTANTIATE_TEST_SUITE_P(EachStep, RunnerFault,
                         ::testing::Values(Fault::kWakeUp, Fault::kFolderMissing, Fault::kEmptyFileName,
                                           Fault::kSequence, Fault::kSave),
                         FaultName);

TEST_F(RunnerRecording, AnEmptyFileNameNeverReusesThePreviousFile) {
  Add(10, 1, "a.avi");
  Add(20, 1, "");
  EXPECT_CALL(*driver, FileSetCaptureFile(::testing::_, dir.File("a.avi"))).Times(1);
  runner.Open();
  RunUntil(60);

  EXPECT_THAT(savedFiles, ElementsAre(dir.File("a.avi")));
  EXPECT_EQ(runner.GetFailedCount(), 1);
}

TEST_F(RunnerRecording, ATargetThatIsTheScheduleOrTooLongFailsWithItsReasonBeforeTheDevice) {
  const std::string schedulePath = dir.File("s.yyk");
  WriteFileBytes(schedulePath, "the schedule");
  runner.SetSchedulePath(schedulePath);
  Add(10, 1, "s.yyk");
  Add(20, 1, std::string(234, 'n') + ".avi");  // its recovery name would not fit
  Add(30, 1, "c.avi");
  EXPECT_CALL(*driver, FileSetCaptureFile).Times(0);
  EXPECT_CALL(*driver, FileSetCaptureFile(::testing::_, dir.File("c.avi"))).Times(1);
  runner.Open();
  RunUntil(60);

  std::vector<std::string> failures;
  for (const auto& shown : window.shown) {
    if (!shown.display.failure.empty()) failures.push_back(shown.display.failure);
  }
  EXPECT_THAT(failures,
              ElementsAre(HasSubstr("it is the schedule file itself"), HasSubstr("the file name is too long")));
  EXPECT_EQ(ReadFileBytes(schedulePath), "the schedule");
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("c.avi")));
  EXPECT_EQ(runner.GetFailedCount(), 2);
}

class RunnerBackToBack : public RunnerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RunnerBackToBack, AChainStartsOnTimeAndOnlyItsLastKeepsTheExtraSecond) {
  fireTimersDuringCapture = GetParam();
  for (int i = 0; i < 5; ++i) Add(10 + 5 * i, 5, "part" + std::to_string(i) + ".avi");
  Add(36, 5, "after_a_gap.avi");  // a second after the chain's end: no extra second for the chain
  Add(60, 5, "alone.avi");
  runner.Open();
  RunUntil(100);

  // Each stops at its own end, where the next begins; the stop rule's extra second would have
  // pushed every later start one second further.
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(10, 15, 20, 25, 30, 36, 60));
  EXPECT_THAT(LastFrameMs(), ElementsAre(5000, 5000, 5000, 5000, 5000, 6000, 6000));
  EXPECT_EQ(runner.GetRecordedCount(), 7);
  EXPECT_EQ(runner.GetDisplay().activity, "終了");
}

INSTANTIATE_TEST_SUITE_P(TimersDuringTheCapture, RunnerBackToBack, ::testing::Bool());

TEST_F(RunnerRecording, TimersDueDuringACaptureStartAfterItInTheirOrderOnlyUntilTheirEnd) {
  fireTimersDuringCapture = true;
  window.newestFirstOnTies = true;
  Add(10, 20, "long.avi");
  const SYoyaku b = Add(12, 1, "b.avi");
  const SYoyaku c = Add(14, 20, "c.avi");
  runner.Open();
  RunUntil(100);

  // b ended while the first recorded: dropped, said to be; c records what is left of it.
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("long.avi"), dir.File("c.avi")));
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(10, 30));
  EXPECT_THAT(LastFrameMs(), ElementsAre(20'000, 5'000));  // c's end and the second after it
  EXPECT_THAT(window.notes, ElementsAre(DroppedReservationText(b, kT0 + 30), LateReservationText(c, kT0 + 30)));
  EXPECT_THAT(TakeShown(), Contains("予約待機中 | " + b.GetListText()));
  EXPECT_EQ(runner.GetRecordedCount(), 2);
}

// The window's timers run on a clock that a suspend stops and a change of the wall clock leaves
// alone; the wall clock decides.
TEST_F(RunnerRecording, StartsByTheWallClockWhateverItsTimersSay) {
  Add(600, 1000, "a.avi");
  Add(1200, 700, "b.avi");
  Add(5000, 1, "c.avi");
  runner.Open();
  runner.OnWallClockTick();
  EXPECT_THAT(savedFiles, IsEmpty());

  // Resumed after a suspend: the wall clock is past two starts, no timer has fallen due.
  clock.Set(kT0 + 1500);
  runner.OnWallClockTick();
  runner.OnWallClockTick();
  runner.OnWallClockTick();
  EXPECT_THAT(savedFiles, ElementsAre(dir.File("a.avi"), dir.File("b.avi")));
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(1500, 1600));  // each only until its end
  EXPECT_THAT(window.kills, ::testing::IsSupersetOf({1u, 2u}));
  ASSERT_TRUE(window.NextTimer().has_value());
  EXPECT_EQ(window.NextTimer()->first, 3u);

  // The wall clock was set back: c's timer falls due 100 s before its start and is armed again.
  clock.Set(kT0 + 4900);
  TraceCapture trace;
  window.Fire(3);
  EXPECT_THAT(savedFiles, ::testing::SizeIs(2));
  EXPECT_THAT(trace.Text(), HasSubstr("D: yoyakuId = 2 , 100秒後\n"));
  EXPECT_THAT(window.arms.back(), Pair(3u, milliseconds(100'000)));
  runner.OnWallClockTick();
  EXPECT_THAT(savedFiles, ::testing::SizeIs(2));
  RunUntil(6000);
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(1500, 1600, 5000));
  EXPECT_EQ(runner.GetRecordedCount(), 3);
}

TEST_F(RunnerRecording, AnUnsortedFileRunsInStartOrder) {
  const SYoyaku late = Make(40, 1, dir.File("late.avi"));
  const SYoyaku early = Make(10, 1, dir.File("early.avi"));
  schedule.ReplaceAll({late, Make(-5, 1, dir.File("past.avi")), early});
  runner.Open();

  EXPECT_THAT(window.arms, ElementsAre(Pair(1u, milliseconds(10'000)), Pair(2u, milliseconds(40'000))));
  RunUntil(20);
  EXPECT_EQ(runner.GetDisplay().nextReservation, late.GetListText());
  RunUntil(60);
  EXPECT_THAT(savedFiles, ElementsAre(early.strFileName, late.strFileName));
  EXPECT_THAT(ShownAt("録画開始中"), ElementsAre(10, 40));
}

}  // namespace
}  // namespace tovalen::testing
