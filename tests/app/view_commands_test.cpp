#include <gmock/gmock.h>
#include <gtk/gtk.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/capture_panel.h"
#include "app/command_ids.h"
#include "app/command_texts.h"
#include "app/main_frame.h"
#include "app/main_status_bar.h"
#include "app/quorvel_doc.h"
#include "app/quorvel_view.h"
#include "app_fixture.h"
#include "avi_probe.h"
#include "capture/video_cap.h"
#include "dialogs/dlg_debug_info.h"
#include "dialogs/dlg_rec_start.h"
#include "dialogs/dlg_select_cap_device.h"
#include "dialogs/dlg_set_audio_property.h"
#include "dialogs/dlg_set_video_option.h"
#include "dialogs/help_viewer.h"
#include "dialogs/radio_group.h"
#include "dialogs/save_file_dialog.h"
#include "dialogs/wx_text.h"
#include "platform/clock.h"
#include "res/resource_ids.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using namespace cmd;
using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Ge;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::Not;

constexpr const char* kSelectDevice = "キャプチャデバイスを選択してください";

class ViewCommands : public AppTest {
 protected:
  // Answers the runner window: opens it, runs the loop until the condition holds, cancels it.
  int RunRunner(CDlgRecStart& dialog, const std::function<bool(const CRecordingRunner&)>& until);
};

TEST_F(ViewCommands, ScheduledRecordingNeedsASelectedDevice) {
  ASSERT_TRUE(Start());
  Command(ID_REC_START);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, kSelectDevice);
  EXPECT_EQ(boxes.Boxes()[0].caption, "E:");
  EXPECT_EQ(boxes.Boxes()[0].icon, MessageIcon::kExclamation);
  EXPECT_THAT(dialogs.Opened(), IsEmpty());
}

TEST_F(ViewCommands, ScheduledRecordingWithPersistentConnectNeedsTheConnection) {
  ASSERT_TRUE(Start());
  SCaptureSettings settings;
  settings.iCapDriverId = 0;
  settings.videoOption.PersistentConnect = true;
  CVideoCap::GetInstance().SetCaptureSettings(settings);  // as a loaded file sets them
  Command(ID_REC_START);
  EXPECT_THAT(boxes.Texts(), ElementsAre(kSelectDevice));
  EXPECT_THAT(dialogs.Opened(), IsEmpty());

  // Without it, a driver index from the file is enough: the runner connects at each start.
  settings.videoOption.PersistentConnect = false;
  CVideoCap::GetInstance().SetCaptureSettings(settings);
  dialogs.On<CDlgRecStart>([](CDlgRecStart& dialog) {
    dialog.InitDialog();
    Click(&dialog, res::IDCANCEL);
    return dialog.GetReturnCode();
  });
  Command(ID_TB_REC_START);
  EXPECT_THAT(dialogs.Opened(), ElementsAre(std::type_index(typeid(CDlgRecStart))));
  EXPECT_THAT(boxes.Texts(), ElementsAre(kSelectDevice));
}

TEST_F(ViewCommands, TestCaptureRefusedWhileDisconnectedOrWhenTheFileDialogIsCancelled) {
  ASSERT_TRUE(Start());
  Command(ID_CAP_TEST);  // the key or a stale menu can still send it
  SelectTestPattern();
  const ScopedSaveFilePresenter cancel([](const SaveFileQuestion&) { return std::nullopt; });
  Command(ID_CAP_TEST);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].text, kSelectDevice);
  EXPECT_EQ(boxes.Boxes()[1].text, "QueryCaptureFileName() rv==false\n");
  EXPECT_EQ(boxes.Boxes()[1].caption, "E:");
  EXPECT_EQ(boxes.Boxes()[1].icon, MessageIcon::kStop);
}

TEST_F(ViewCommands, TestCaptureIntoAFolderThatCannotBeWrittenSaysWhatToCheck) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  const ScopedSaveFilePresenter answer([&](const SaveFileQuestion&) { return dir.File("no/such/folder/x.avi"); });
  Command(ID_CAP_TEST);
  EXPECT_THAT(boxes.Texts(),
              ElementsAre("ファイルの書き込み 失敗!",
                          "SetCaptureFileName失敗\n・キャプチャ中はファイル名を設定できません\n"
                          "・メディアプレーヤを起動しているときは\n  終了してからもう一度実行してみてください"));
  EXPECT_EQ(boxes.Boxes().back().caption, "E:");
  EXPECT_TRUE(CVideoCap::GetInstance().IsConnected());
}

TEST_F(ViewCommands, TestCaptureRecordsUntilAClickEndsItAndSaysSo) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  const std::string file = dir.File("test capture.avi");
  const ScopedSaveFilePresenter answer([&](const SaveFileQuestion&) { return file; });
  // The title, the recording pane, then the message pane, whose hint on ending the capture stays.
  const auto texts = [this] {
    const wxStatusBar* bar = Frame().GetStatusBar();
    return ToUtf8(Frame().GetTitle()) + "\n" + ToUtf8(bar->GetStatusText(MainStatusBar::kRecordingPane)) + "\n" +
           ToUtf8(bar->GetStatusText(0));
  };
  // Looked at while the capture holds the loop; the click comes once a second has been shown.
  struct Watch {
    std::function<std::string()> texts;
    std::function<void()> click;
    std::vector<std::string> seen;
    bool clicked = false;
  } watch{texts, [this] { ClickCaptureWindowAfter(0ms); }, {}};
  const guint source = g_timeout_add(
      50,
      [](gpointer data) -> gboolean {
        auto* w = static_cast<Watch*>(data);
        if (!CVideoCap::GetInstance().IsCapturing() || w->clicked) return G_SOURCE_CONTINUE;
        w->seen.push_back(w->texts());
        if (w->seen.back().find("0:00:00") != std::string::npos && w->seen.size() < 400) return G_SOURCE_CONTINUE;
        w->clicked = true;
        w->click();
        return G_SOURCE_CONTINUE;
      },
      &watch);
  Command(ID_CAP_TEST);
  g_source_remove(source);
  ASSERT_THAT(watch.seen, Not(IsEmpty()));
  EXPECT_THAT(watch.seen,
              Each(MatchesRegex("録画中 test capture.avi 0:00:[0-9]+ - .*\n録画中 test capture.avi  0:00:[0-9]+\n" +
                                std::string(kIdleStatusText))));
  EXPECT_THAT(watch.seen, Contains(HasSubstr("0:00:00")));
  EXPECT_THAT(watch.seen.back(), Not(HasSubstr("0:00:00")));  // the time moved on during the capture
  EXPECT_THAT(texts(), Not(HasSubstr("録画中")));
  EXPECT_EQ(ToUtf8(Frame().GetStatusBar()->GetStatusText(0)), kIdleStatusText);
  EXPECT_EQ(ToUtf8(Frame().GetStatusBar()->GetStatusText(MainStatusBar::kRecordingPane)), "");
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "キャプチャ正常終了。");
  EXPECT_EQ(boxes.Boxes()[0].caption, "D:");
  EXPECT_EQ(boxes.Boxes()[0].icon, MessageIcon::kNone);
  const ProbedFile probed = ProbeFile(file);
  ASSERT_EQ(probed.error, "");
  ASSERT_TRUE(probed.video);
  EXPECT_THAT(probed.video->decodedFrames, Ge(15));  // about a second at 30 frames per second
  EXPECT_EQ(probed.video->decodeErrors, 0);
}

TEST_F(ViewCommands, TheRecordingPaneCountsTheReconnectsOfANetworkStream) {
  ASSERT_TRUE(Start());
  CVideoCap& cap = CVideoCap::GetInstance();
  CaptureListener* indicator = cap.SetCaptureListener(nullptr);
  cap.SetCaptureListener(indicator);
  ASSERT_NE(indicator, nullptr);
  const auto pane = [this] { return ToUtf8(Frame().GetStatusBar()->GetStatusText(MainStatusBar::kRecordingPane)); };
  indicator->OnCaptureStarted({"/v/tv.ts", 0, 0, 0});
  indicator->OnCaptureProgress({"/v/tv.ts", 61'000, 1500, 0});
  EXPECT_EQ(pane(), "録画中 tv.ts  0:01:01");
  indicator->OnCaptureProgress({"/v/tv.ts", 62'000, 1520, 3});
  EXPECT_EQ(pane(), "録画中 tv.ts  0:01:02  再接続 3 回");
  indicator->OnCaptureEnded();
  EXPECT_EQ(pane(), "");
}

TEST_F(ViewCommands, ScheduledRecordingRecordsEachReservationAtItsTime) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  const std::string first = dir.File("first.avi");
  const std::string second = dir.File("second.avi");
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 1, 2, "番組", first));
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 4, 2, "番組", second));

  std::vector<std::string> activities;
  std::vector<std::string> shownWhileRecording;  // the title, then what the capture window says
  dialogs.On<CDlgRecStart>([&](CDlgRecStart& dialog) {
    return RunRunner(dialog, [&](const CRecordingRunner& runner) {
      if (activities.empty() || activities.back() != runner.GetDisplay().activity) {
        activities.push_back(runner.GetDisplay().activity);
      }
      if (runner.GetDisplay().state == RunnerState::kRecording && CaptureWindow()) {
        shownWhileRecording.push_back(ToUtf8(Frame().GetTitle()) + "|" + ToUtf8(CaptureWindow()->Caption()));
      }
      return runner.GetRecordedCount() + runner.GetFailedCount() == 2;
    });
  });
  Command(ID_REC_START);

  EXPECT_THAT(activities, Contains("予約待機中"));
  EXPECT_THAT(activities, Contains(HasSubstr("録画中")));
  EXPECT_EQ(activities.back(), "終了");
  // The capture window has no picture of its own here: it says what is recorded.
  for (const char* name : {"first.avi", "second.avi"}) {
    EXPECT_THAT(shownWhileRecording, Contains(MatchesRegex(std::string("録画中 ") + name + " 0:00:0.*\\|録画中\n" +
                                                           name + "\n0:00:0. .* frame")));
  }
  EXPECT_THAT(ToUtf8(Frame().GetTitle()), Not(HasSubstr("録画中")));
  for (const std::string& file : {first, second}) {
    const ProbedFile probed = ProbeFile(file);
    EXPECT_EQ(probed.error, "") << file;
    ASSERT_TRUE(probed.video) << file;
    EXPECT_THAT(probed.video->decodedFrames, Ge(45)) << file;  // two seconds at 30 frames per second
  }
  EXPECT_EQ(Doc().Schedule().GetYoyakuCount(), 0);  // both have started, so the runner purged them
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_THAT(boxes.Texts(), IsEmpty());
}

TEST_F(ViewCommands, AFailedWarmUpNeitherHoldsTheNextReservationNorHidesWhy) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  const SYoyaku failing = Reservation(Clock::Now() + 1, 1, "番組", dir.File("no/such/folder/a.avi"));
  const SYoyaku next = Reservation(Clock::Now() + 3, 2, "番組", dir.File("next.avi"));
  Doc().Schedule().AddYoyaku(failing);
  Doc().Schedule().AddYoyaku(next);
  // Nobody is at the screen: a box that waits for its answer waits past the next reservation.
  std::vector<MessageBoxRequest> shown;
  const ScopedMessageBoxPresenter away([&](const MessageBoxRequest& request) {
    shown.push_back(request);
    if (request.wait == MessageWait::kForAnswer) RunLoopUntil([] { return false; }, 8s);
    return MessageAnswer::kOk;
  });
  std::int64_t nextStartedAt = 0;
  std::vector<std::string> notes;
  dialogs.On<CDlgRecStart>([&](CDlgRecStart& dialog) {
    const int code = RunRunner(dialog, [&](const CRecordingRunner& runner) {
      if (nextStartedAt == 0 && runner.GetDisplay().nextReservation == next.GetListText() &&
          runner.GetDisplay().state != RunnerState::kWaiting) {
        nextStartedAt = Clock::Now();
      }
      return runner.GetRecordedCount() + runner.GetFailedCount() == 2;
    });
    notes = dialog.NoteLines();
    return code;
  });
  Command(ID_REC_START);

  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "ファイルの書き込み 失敗!");
  EXPECT_EQ(shown[0].wait, MessageWait::kNone);
  EXPECT_THAT(nextStartedAt - next.timeStart, ::testing::Le(1));
  const ProbedFile probed = ProbeFile(dir.File("next.avi"));
  ASSERT_TRUE(probed.video);
  EXPECT_THAT(probed.video->decodedFrames, Ge(45));
  // The window still says why the first failed once the next has been recorded.
  EXPECT_THAT(notes, Contains(HasSubstr("録画できませんでした: " + failing.GetListText())));
  EXPECT_THAT(notes, Contains(HasSubstr("録画ファイル " + failing.strFileName + " に書き込めませんでした")));
}

// An interrupted capture still ends as a finished file at its target: indexed, with a length a
// player can show, and no scratch file left beside it.
void ExpectFinishedAt(const std::string& file, double atLeastSeconds) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find("idx1"), std::string::npos) << file;
  const ProbedFile probed = ProbeFile(file);
  EXPECT_EQ(probed.error, "") << file;
  EXPECT_THAT(probed.durationSeconds, Ge(atLeastSeconds)) << file;
  ASSERT_TRUE(probed.video) << file;
  EXPECT_EQ(probed.video->decodeErrors, 0) << file;
  EXPECT_THAT(FilesContaining(std::filesystem::path(file).parent_path().string(), ".recording-"), IsEmpty());
}

gboolean RaiseSignal(gpointer signal) {
  std::raise(GPOINTER_TO_INT(signal));
  return G_SOURCE_REMOVE;
}

class InterruptedTestCapture : public ViewCommands, public ::testing::WithParamInterface<int> {};

// 0 stands for the close box of the main window, the others for a termination signal.
TEST_P(InterruptedTestCapture, EndsTheCaptureSavesItThenCloses) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  const std::string file = dir.File("test capture.avi");
  const ScopedSaveFilePresenter answer([&](const SaveFileQuestion&) { return file; });
  const int signal = GetParam();
  TraceCapture trace;
  if (signal == 0) {
    RequestFrameCloseAfter(1500ms);
  } else {
    g_timeout_add(1500, RaiseSignal, GINT_TO_POINTER(signal));
  }
  Command(ID_CAP_TEST);

  EXPECT_FALSE(FrameClosed());  // not while the command runs
  ExpectFinishedAt(file, 1.0);
  if (signal == 0) {
    EXPECT_THAT(boxes.Texts(), ElementsAre("キャプチャ正常終了。"));  // as when Escape ends it
    // Then closed as usual: the device choice changed the document, so the user is asked.
    const MessageBoxRecorder discard(MessageAnswer::kNo);
    EXPECT_TRUE(RunLoopUntil([&] { return FrameClosed(); }, 5s));
    EXPECT_THAT(discard.Texts(), ElementsAre(HasSubstr("への変更を保存しますか?")));
  } else {
    EXPECT_THAT(boxes.Texts(), IsEmpty());  // nobody is left to answer
    EXPECT_THAT(trace.Text(), HasSubstr("D: test capture saved before ending\n"));
    EXPECT_TRUE(RunLoopUntil([&] { return FrameClosed(); }, 5s));
  }
}

INSTANTIATE_TEST_SUITE_P(CloseOrSignal, InterruptedTestCapture, ::testing::Values(0, SIGTERM, SIGINT));

// How the scheduled run is interrupted a second into its recording.
enum class Interruption { kRunnerClose, kFrameCloseBox, kHangUp };

class InterruptedScheduledRecording : public ViewCommands, public ::testing::WithParamInterface<Interruption> {};

// A close lets the recording run to its end, then the runner's window closes, and after a close
// of the main window (asked about first) the program ends; a termination signal ends it at once.
TEST_P(InterruptedScheduledRecording, SavesTheRecordingClosesTheRunnerThenTheFrame) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  const std::string file = dir.File("scheduled.avi");
  constexpr Span32 kLength = 3;
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 1, kLength, "番組", file));
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 120, 60, "番組", dir.File("later.avi")));
  const Interruption how = GetParam();
  TraceCapture trace;
  // The first question is answered no, which changes nothing; the second yes.
  std::vector<std::string> questions;
  const ScopedMessageBoxPresenter answers([&](const MessageBoxRequest& box) {
    if (box.text != "現在の録画が終わったら終了しますか?") return MessageAnswer::kNo;  // the unsaved schedule
    EXPECT_EQ(box.wait, MessageWait::kNone);  // an open question must not hold the recording
    questions.push_back(box.caption);
    if (questions.size() == 1) RequestFrameCloseAfter(0ms);
    return questions.size() == 1 ? MessageAnswer::kNo : MessageAnswer::kYes;
  });
  int recorded = -1;
  bool runnerClosed = false;
  dialogs.On<CDlgRecStart>([&](CDlgRecStart& dialog) {
    bool interrupted = false;
    const int code = RunRunner(dialog, [&](const CRecordingRunner& runner) {
      if (!interrupted && runner.GetDisplay().state == RunnerState::kRecording &&
          runner.GetDisplay().elapsedMs >= 1000) {
        interrupted = true;
        if (how == Interruption::kRunnerClose) dialog.Close();
        if (how == Interruption::kFrameCloseBox) RequestFrameCloseAfter(0ms);
        if (how == Interruption::kHangUp) std::raise(SIGHUP);
      }
      recorded = runner.GetRecordedCount();
      runnerClosed = CActiveRunner::GetActive() == nullptr;
      return runnerClosed;
    });
    return code;
  });
  Command(ID_REC_START);

  EXPECT_EQ(recorded, 1);
  EXPECT_TRUE(runnerClosed);  // closed by itself once the recording had been saved
  ExpectFinishedAt(file, how == Interruption::kHangUp ? 1.0 : kLength);
  EXPECT_FALSE(std::filesystem::exists(dir.File("later.avi")));
  EXPECT_THAT(trace.Text(), HasSubstr("D: CDlgRecStart: closes after this recording\n"));
  const std::size_t questionsAsked = how == Interruption::kFrameCloseBox ? 2 : 0;
  EXPECT_EQ(questions, std::vector<std::string>(questionsAsked, "Tovalen"));
  EXPECT_EQ(RunLoopUntil([&] { return FrameClosed(); }, 2s), how != Interruption::kRunnerClose);
}

INSTANTIATE_TEST_SUITE_P(CloseOrSignal, InterruptedScheduledRecording,
                         ::testing::Values(Interruption::kRunnerClose, Interruption::kFrameCloseBox,
                                           Interruption::kHangUp));

TEST_F(ViewCommands, TheMainWindowsCloseBoxWhileTheRunnerWaitsEndsTheRunAndTheProgramAtOnce) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 120, 60, "番組", dir.File("later.avi")));
  std::vector<std::string> asked;
  const ScopedMessageBoxPresenter answers([&](const MessageBoxRequest& box) {
    asked.push_back(box.text);
    return asked.size() == 1 ? MessageAnswer::kYes : MessageAnswer::kNo;  // end; drop the changes
  });
  dialogs.On<CDlgRecStart>([&](CDlgRecStart& dialog) {
    dialog.InitDialog();
    RequestFrameCloseAfter(0ms);
    RunLoopUntil([&] { return CActiveRunner::GetActive() == nullptr; }, 5s);
    return dialog.GetReturnCode();
  });
  Command(ID_REC_START);

  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
  EXPECT_TRUE(RunLoopUntil([&] { return FrameClosed(); }, 5s));
  EXPECT_THAT(asked, ElementsAre("現在の録画が終わったら終了しますか?", HasSubstr("への変更を保存しますか?")));
}

int ViewCommands::RunRunner(CDlgRecStart& dialog, const std::function<bool(const CRecordingRunner&)>& until) {
  dialog.InitDialog();
  // Look at the runner also while a recording holds the loop.
  struct Watch {
    CDlgRecStart* dialog;
    const std::function<bool(const CRecordingRunner&)>* until;
    bool done = false;
  } watch{&dialog, &until};
  const guint source = g_timeout_add(
      50,
      [](gpointer data) -> gboolean {
        auto* w = static_cast<Watch*>(data);
        w->done = (*w->until)(w->dialog->Runner());
        return G_SOURCE_CONTINUE;
      },
      &watch);
  RunLoopUntil([&] { return watch.done; }, 30s);
  g_source_remove(source);
  Click(&dialog, res::IDCANCEL);
  return dialog.GetReturnCode();
}

TEST_F(ViewCommands, SettingsDialogsOpenWithTheControllersSettings) {
  ASSERT_TRUE(Start());
  SAudioProperty audio;
  audio.nSamplesPerSec = 1;
  SVideoOption video;
  video.FPS = 3;
  CVideoCap::GetInstance().SetAudioProperty(audio);
  CVideoCap::GetInstance().SetVideoOption(video);
  int shownRate = -1;
  int shownFps = -1;
  dialogs.On<CDlgSetAudioProperty>([&](CDlgSetAudioProperty& dialog) {
    dialog.InitDialog();
    shownRate = dialog.SamplesPerSecGroup().Selected();
    return res::IDCANCEL;
  });
  dialogs.On<CDlgSetVideoOption>([&](CDlgSetVideoOption& dialog) {
    dialog.InitDialog();
    shownFps = dialog.FpsGroup().Selected();
    return res::IDCANCEL;
  });
  dialogs.On<CDlgDebugInfo>([](CDlgDebugInfo& dialog) {
    dialog.InitDialog();
    EXPECT_THAT(dialog.GetInfo(), HasSubstr("="));
    return res::IDOK;
  });
  Command(ID_CAP_AUDIO);
  Command(ID_CAP_VIDEO_OPTION);
  Command(ID_DEBUG_INFO);
  EXPECT_EQ(shownRate, 1);
  EXPECT_EQ(shownFps, 3);
  EXPECT_EQ(dialogs.Opened().size(), 3u);
}

TEST_F(ViewCommands, CancellingTheDeviceChoiceLeavesNothingConnected) {
  ASSERT_TRUE(Start());
  dialogs.On<CDlgSelectCapDevice>([](CDlgSelectCapDevice& dialog) {
    dialog.InitDialog();
    Click(&dialog, res::IDCANCEL);
    return dialog.GetReturnCode();
  });
  TraceCapture trace;
  Command(ID_TB_SELECT_DEVICE);
  EXPECT_FALSE(CVideoCap::GetInstance().IsConnected());
  EXPECT_EQ(CVideoCap::GetInstance().GetCapDriverId(), -1);
  EXPECT_THAT(trace.Pieces(), Contains("D: SelectCapDriver failed\n"));
  EXPECT_EQ(CaptureWindow(), nullptr);
}

TEST_F(ViewCommands, HelpShowsTheBooksContentsPage) {
  ASSERT_TRUE(Start());
  HelpViewer::Instance().SetBook(TOVALEN_TEST_HELP_BOOK);
  Command(ID_HELP_CONTENTS);
  EXPECT_EQ(HelpViewer::Instance().OpenWindowCount(), 1);
  EXPECT_THAT(HelpViewer::Instance().ShownPage(), HasSubstr("index.htm"));
  HelpViewer::Instance().CloseAll();
}

}  // namespace
}  // namespace tovalen::testing
