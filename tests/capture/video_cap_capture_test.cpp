#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "fake_capture_listener.h"
#include "platform/clock.h"
#include "platform/user_folders.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::SaveArg;

std::size_t CountOf(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

class CaptureSequence : public VideoCapTest {
 protected:
  // The driver's actions use this fixture's members, so the controller goes first.
  ~CaptureSequence() override { CVideoCapTestAccess::Destroy(); }

  // The driver's sequence delivers frames at these capture times through the installed callback
  // and records which of them asked for the stop.
  void DeliverFramesDuringSequence(std::vector<std::uint32_t> times) {
    ON_CALL(*driver, SetCallbackOnVideoStream).WillByDefault(SaveArg<1>(&m_callback));
    ON_CALL(*driver, CaptureStop).WillByDefault([this](auto) {
      stopsAt.push_back(m_frame);
      return true;
    });
    ON_CALL(*driver, CaptureSequence).WillByDefault([this, times](CaptureWindowHandle window) {
      capturingDuringSequence = cap->IsCapturing();
      for (const std::uint32_t t : times) {
        m_frame = t;
        m_callback(window, SVideoHeader{t, 0});
      }
      return true;
    });
  }

  TempDir dir;
  FakeCaptureListener runner;
  std::vector<std::uint32_t> stopsAt;
  bool capturingDuringSequence = false;

 private:
  FrameCallback m_callback;
  std::uint32_t m_frame = 0;
};

TEST_F(CaptureSequence, QueryCaptureFileNameAsksTheSaveDialog) {
  std::string path = "unchanged";
  EXPECT_FALSE(cap->QueryCaptureFileName(path));
  EXPECT_EQ(path, "unchanged");
  const SaveFileRequest& request = *ui->lastSaveRequest;
  EXPECT_EQ(request.initialName, DefaultRecordingPath());
  EXPECT_EQ(request.defaultExtension, "avi");
  EXPECT_THAT(request.filters, ElementsAre(std::pair<std::string, std::string>{"AVI files (*.AVI)", "*.avi"},
                                           std::pair<std::string, std::string>{"All files (*.*)", "*.*"}));
  EXPECT_TRUE(request.promptOverwrite && request.resizable);

  ui->saveFileName = "/videos/news.avi";
  EXPECT_TRUE(cap->QueryCaptureFileName(path));
  EXPECT_EQ(path, "/videos/news.avi");
}

TEST_F(CaptureSequence, SetCaptureFileNameNeedsAConnection) {
  TraceCapture trace;
  EXPECT_FALSE(cap->SetCaptureFileName(dir.File("a.avi")));
  EXPECT_EQ(trace.Text(), "E: CVideoCap::SetCaptureFileName() !m_bConnected\n");
  EXPECT_EQ(cap->GetCaptureFileName(), "");
}

TEST_F(CaptureSequence, SetCaptureFileNameWarmsUpThenSetsTheFile) {
  ConnectDevice();
  const std::string target = dir.File("a.avi");
  EXPECT_CALL(*driver, FileSetCaptureFile(MockCaptureDriver::kWindow, target)).Times(2);
  TraceCapture trace;
  EXPECT_TRUE(cap->SetCaptureFileName(target));
  EXPECT_EQ(trace.Pieces()[0], "D: SetCaptureFileName() file name = ");
  EXPECT_EQ(trace.Pieces()[1], target);
  EXPECT_EQ(trace.Pieces().back(), "D: SpinUpHDD() success\n");
  EXPECT_TRUE(cap->SetCaptureFileName(""));  // no new name: the stored one is used throughout
  EXPECT_TRUE(ui->messages.empty());
  ::testing::Mock::VerifyAndClearExpectations(driver);

  ON_CALL(*driver, FileSetCaptureFile).WillByDefault(Return(false));
  trace.Clear();
  EXPECT_FALSE(cap->SetCaptureFileName(target));
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("E: SetCaptureFileName() capFileSetCaptureFile() failed\n"));
}

TEST_F(CaptureSequence, UnwritableFolderShowsTheMessageAndKeepsTheName) {
  ConnectDevice();
  const std::string target = dir.File("missing/a.avi");
  EXPECT_CALL(*driver, FileSetCaptureFile).Times(0);
  TraceCapture trace;
  EXPECT_FALSE(cap->SetCaptureFileName(target));
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("E: SpinUpHDD() fopen() failed\n"
                                                "E: CVideoCap::SetCaptureFileName() SpinUpHDD() failed\n"));
  EXPECT_THAT(ui->messages, ElementsAre("ファイルの書き込み 失敗!"));
  EXPECT_EQ(cap->GetCaptureFileName(), target);
}

TEST_F(CaptureSequence, CaptureWithoutConnectionTouchesNothing) {
  EXPECT_CALL(*driver, FileAlloc).Times(0);
  EXPECT_CALL(*driver, SetCallbackOnVideoStream).Times(0);
  TraceCapture trace;
  EXPECT_FALSE(cap->Capture());
  EXPECT_EQ(trace.Text(), "E: CVideoCap::Capture() !m_bConnected\n");
}

TEST_F(CaptureSequence, SuccessfulCaptureInOrderWithTimeStamps) {
  ScopedFakeClock clock(1709649000);  // 2024-03-05 14:30:00 UTC, a Tuesday
  ConnectDevice();
  ASSERT_TRUE(cap->SetCaptureFileName(dir.File("a.avi")));
  runner.Activate();
  cap->SetCaptureListener(&runner);
  DeliverFramesDuringSequence({});
  {
    InSequence order;
    EXPECT_CALL(*driver, FileAlloc(MockCaptureDriver::kWindow, 5'242'880u));
    EXPECT_CALL(*driver, SetCallbackOnVideoStream);
    EXPECT_CALL(*driver, CaptureSequence);
    EXPECT_CALL(*driver, FileSaveAs(MockCaptureDriver::kWindow, dir.File("a.avi")));
  }
  TraceCapture trace;
  EXPECT_TRUE(cap->Capture());
  const std::string stamp = "2024 年 03 月 05 日(Tuesday) 14時 30分 00秒";
  EXPECT_EQ(trace.Text(), "D: entering CVideoCap::PreallocateCaptureFile() " + stamp +
                              "\n"
                              "D: CVideoCap::PreallocateCaptureFileName() success\n"
                              "D: CVideoCap::Capture() capCaptureSequence() starting " +
                              stamp +
                              "\n"
                              "D: CVideoCap::Capture() capCaptureSequence() end " +
                              stamp +
                              "\n"
                              "D: CVideoCap::Capture() capFileSaveAs()\n"
                              "D: CVideoCap::Capture() success\n");
  EXPECT_TRUE(capturingDuringSequence);
  EXPECT_FALSE(cap->IsCapturing());
  EXPECT_EQ(runner.finished, 1);
  // The runner hears of the saved capture from inside Capture, before the capture has ended.
  EXPECT_THAT(runner.calls, ElementsAre(HasSubstr("start"), "finished", "end"));
}

TEST_F(CaptureSequence, AListenerFollowsEachCaptureFromStartToEnd) {
  ConnectDevice();
  const std::string file = dir.File("a.avi");
  ASSERT_TRUE(cap->SetCaptureFileName(file));
  EXPECT_EQ(cap->SetCaptureListener(&runner), nullptr);
  DeliverFramesDuringSequence({700, 1200, 2700});
  // A network stream connects again twice before the second frame: counted, traced once.
  ON_CALL(*driver, GetStatus).WillByDefault([this](auto) {
    SCapStatus status;
    status.dwReconnects = std::count_if(runner.calls.begin(), runner.calls.end(),
                                        [](const std::string& call) { return call.starts_with("frame"); }) > 0
                              ? 2
                              : 0;
    return std::optional(status);
  });
  TraceCapture trace;
  EXPECT_TRUE(cap->Capture());
  EXPECT_THAT(runner.calls, ElementsAre("start " + file + " 0 ms 0", "frame " + file + " 0 ms 1",
                                        "frame " + file + " 500 ms 2 reconnects 2",
                                        "frame " + file + " 2000 ms 3 reconnects 2", "end"));
  EXPECT_EQ(CountOf(trace.Text(), "the network stream connected again, 2 time(s) so far"), 1u);

  // The next one counts from zero again.
  runner.calls.clear();
  DeliverFramesDuringSequence({9000});
  EXPECT_TRUE(cap->Capture());
  EXPECT_THAT(runner.calls, ElementsAre("start " + file + " 0 ms 0", "frame " + file + " 0 ms 1", "end"));
  EXPECT_EQ(cap->SetCaptureListener(nullptr), &runner);
}

// Failures, also a sequence that throws, leave m_bCapturing clear, never report a finished capture to the runner, and
// end every capture the listener saw start.
TEST_F(CaptureSequence, FailedPreallocationSequenceOrSave) {
  ConnectDevice();
  runner.Activate();
  cap->SetCaptureListener(&runner);
  struct Case {
    bool alloc, sequence, save;
    const char* trace;
  };
  for (const Case c : {Case{false, true, true, "D: CVideoCap::PreallocateCaptureFileName() failed\n"},
                       Case{true, false, true, "E: CVideoCap::Capture() capCaptureSequence() failed\n"},
                       Case{true, true, false, "E: CVideoCap::Capture() capFileSaveAs() failed\n"}}) {
    ON_CALL(*driver, FileAlloc).WillByDefault(Return(c.alloc));
    ON_CALL(*driver, CaptureSequence).WillByDefault(Return(c.sequence));
    ON_CALL(*driver, FileSaveAs).WillByDefault(Return(c.save));
    TraceCapture trace;
    EXPECT_FALSE(cap->Capture());
    EXPECT_THAT(trace.Text(), ::testing::EndsWith(c.trace));
    EXPECT_FALSE(cap->IsCapturing()) << c.trace;
    EXPECT_NE(cap->GetStatusReport().find("キャプチャ中         = いいえ"), std::string::npos);
    EXPECT_EQ(std::count(runner.calls.begin(), runner.calls.end(), "end"), c.alloc ? 1 : 0) << c.trace;
    EXPECT_EQ(runner.calls.empty() ? "" : runner.calls.back(), c.alloc ? "end" : "") << c.trace;
    runner.calls.clear();
  }
  ON_CALL(*driver, FileAlloc).WillByDefault(Return(true));
  ON_CALL(*driver, CaptureSequence).WillByDefault([](CaptureWindowHandle) -> bool { throw std::bad_alloc(); });
  EXPECT_THROW(cap->Capture(), std::bad_alloc);
  EXPECT_FALSE(cap->IsCapturing());
  EXPECT_EQ(runner.finished, 0);
}

TEST_F(CaptureSequence, StopsAtTheFirstFrameBeyondTheRecordingTimeAndAsksAgain) {
  ConnectDevice();
  runner.recordSeconds = 2;
  runner.Activate();
  // The clock starts at the first frame (500 ms into the stream); 2 s end at 3000 ms elapsed.
  DeliverFramesDuringSequence({500, 1500, 3499, 3500, 3600, 4000});
  TraceCapture trace;
  EXPECT_TRUE(cap->Capture());
  EXPECT_THAT(runner.frames, ElementsAre(0, 1000, 2999, 3000, 3100, 3500));
  EXPECT_THAT(stopsAt, ElementsAre(3500u, 3600u, 4000u));
  EXPECT_EQ(cap->GetFirstFrameTime(), 500);
  EXPECT_EQ(cap->GetElapsed(), 3500);
  EXPECT_THAT(trace.Text(), HasSubstr("D: capture STOP\nD: capture STOP\nD: capture STOP\n"));

  // A second capture starts its clock again.
  runner.recordSeconds = 60;
  stopsAt.clear();
  DeliverFramesDuringSequence({10'000, 70'999, 71'000});
  EXPECT_TRUE(cap->Capture());
  EXPECT_THAT(stopsAt, ElementsAre(71'000u));

  // The listener ends it earlier when the reservation's own end has come.
  cap->SetCaptureListener(&runner);
  runner.reachedItsEnd = true;
  stopsAt.clear();
  DeliverFramesDuringSequence({10'000, 10'500});
  EXPECT_TRUE(cap->Capture());
  EXPECT_THAT(stopsAt, ElementsAre(10'000u, 10'500u));
}

TEST_F(CaptureSequence, WithoutAnActiveRunnerFramesOnlyMoveTheClock) {
  ConnectDevice();
  runner.recordSeconds = 0;  // would stop at once if it were asked
  runner.reachedItsEnd = true;
  runner.Activate();
  runner.Deactivate();
  cap->SetCaptureListener(&runner);  // hears the capture, but does not bound it
  DeliverFramesDuringSequence({100, 5000, 9000});
  EXPECT_CALL(*driver, CaptureStop).Times(0);
  EXPECT_TRUE(cap->Capture());
  EXPECT_EQ(cap->GetFirstFrameTime(), 100);
  EXPECT_EQ(cap->GetElapsed(), 8900);
  EXPECT_TRUE(runner.frames.empty());
  EXPECT_EQ(runner.recordSecondsAsked, 0);
  EXPECT_EQ(runner.finished, 0);
  ::testing::Mock::VerifyAndClearExpectations(driver);
}

}  // namespace
}  // namespace tovalen::testing
