#include "dialogs/dlg_rec_start.h"

#include <gmock/gmock.h>
#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/evtloop.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>
// The generic box needs the declarations above.
#include <wx/generic/msgdlgg.h>

#include <chrono>
#include <functional>

#include "dialogs/wx_text.h"
#include "platform/clock.h"
#include "res/resource_ids.h"
#include "schedule/yoyaku_schedule.h"
#include "support/dialog_driver.h"
#include "support/reservation.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using ::testing::_;
using ::testing::Return;

constexpr std::int64_t kNow = 1'900'000'000;

SYoyaku FromNow(std::int64_t startFromNow, Span32 length, const std::string& file) {
  return Reservation(kNow + startFromNow, length, "番組", file);
}

class RecStartWindow : public VideoCapTest {
 protected:
  std::string Text(int id) { return ToUtf8(ControlOf<wxStaticText>(&dialog, id)->GetLabel()); }

  // The field as the screen shows it, once drawing has settled: two grabs alike, and more
  // than the bare background (a window not yet drawn is one colour).
  wxImage FieldOnScreen(wxDialog& window, int id) {
    wxWindow* field = ControlOf<wxStaticText>(&window, id)->GetParent();
    wxImage last;
    const bool settled = RunLoopUntil([&] {
      window.Update();
      const wxRect rect = field->GetScreenRect();
      wxBitmap bitmap(rect.GetSize());
      wxMemoryDC memory(bitmap);
      wxScreenDC screen;
      memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y);
      memory.SelectObject(wxNullBitmap);
      const wxImage now = bitmap.ConvertToImage();
      const bool same = last.IsOk() &&
                        std::equal(now.GetData(), now.GetData() + now.GetWidth() * now.GetHeight() * 3, last.GetData());
      last = now;
      return same && now.CountColours(1) > 1;
    });
    EXPECT_TRUE(settled);
    return last;
  }

  ScopedFakeClock clock{kNow};
  CYoyakuSchedule schedule;
  CDlgRecStart dialog;
};

TEST_F(RecStartWindow, TheNextReservationFieldShowsOnlyItsNewestText) {
  // The first fails at once and the second then starts: the field shows two texts in turn.
  const SYoyaku second = FromNow(1, 5, "/v/second.avi");
  schedule.AddYoyaku(FromNow(0, 5, "/v/first.avi"));
  schedule.AddYoyaku(second);
  dialog.SetDocument(&schedule);
  dialog.Show();
  dialog.InitDialog();
  ASSERT_TRUE(RunLoopUntil([&] { return dialog.Runner().GetFailedCount() == 1; }));
  FieldOnScreen(dialog, res::IDC_STATIC_NEXT_RESERVATION);
  clock.Advance(1);
  ASSERT_TRUE(RunLoopUntil([&] { return dialog.Runner().GetFailedCount() == 2; }));
  ASSERT_EQ(Text(res::IDC_STATIC_NEXT_RESERVATION), second.GetListText());
  const wxImage shown = FieldOnScreen(dialog, res::IDC_STATIC_NEXT_RESERVATION);
  clock.Advance(1);
  Click(&dialog, res::IDCANCEL);
  dialog.Hide();

  clock.Advance(-2);  // the second lies ahead again, so a fresh window shows it waiting
  CYoyakuSchedule onlySecond;
  onlySecond.AddYoyaku(second);
  CDlgRecStart fresh;
  fresh.SetDocument(&onlySecond);
  fresh.Show();
  fresh.InitDialog();
  ASSERT_EQ(ToUtf8(ControlOf<wxStaticText>(&fresh, res::IDC_STATIC_NEXT_RESERVATION)->GetLabel()),
            second.GetListText());
  const wxImage clean = FieldOnScreen(fresh, res::IDC_STATIC_NEXT_RESERVATION);
  fresh.RequestClose();
  ASSERT_EQ(shown.GetSize(), clean.GetSize());
  EXPECT_TRUE(std::equal(shown.GetData(), shown.GetData() + shown.GetWidth() * shown.GetHeight() * 3, clean.GetData()));
}

TEST_F(RecStartWindow, OpensIdleThenShowsThatNothingIsScheduled) {
  EXPECT_EQ(Text(res::IDC_STATIC_ACTIVITY), "アイドル");
  EXPECT_FALSE(ControlOf<wxButton>(&dialog, res::IDOK)->IsEnabled());
  dialog.SetDocument(&schedule);
  dialog.InitDialog();
  EXPECT_EQ(Text(res::IDC_STATIC_ACTIVITY), "予約なし");
  EXPECT_EQ(Text(res::IDC_STATIC_NEXT_RESERVATION), "");
  EXPECT_FALSE(dialog.IsTimerArmed(1));
  EXPECT_EQ(CActiveRunner::GetActive(), &dialog.Runner());
  Click(&dialog, res::IDCANCEL);
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDCANCEL);
}

// Reports, for each folder, one leftover recovered and, for /w, one left without a frame.
class ReportingRecovery : public LeftoverRecovery {
 public:
  std::vector<std::string> FindLeftovers(const std::string& folder) const override {
    if (folder == "/w") return {"/w/b.recording-bbbbbb.avi"};
    return {folder + "/a.recording-aaaaaa.avi"};
  }
  LeftoverReport Recover(const std::string& leftover) override {
    if (leftover.starts_with("/w/")) return {leftover, LeftoverReport::Result::kNoFrame, "", 0, 0, ""};
    return {leftover, LeftoverReport::Result::kRecovered, "/v/a.avi", 90, 3, ""};
  }
};

TEST_F(RecStartWindow, ListsTheRecoveredLeftoversAndTheDroppedReservationInItsLog) {
  const SYoyaku past = FromNow(-10, 5, "/v/past.avi");
  schedule.AddYoyaku(past);
  schedule.AddYoyaku(FromNow(60, 5, "/w/next.avi"));
  InstallLeftoverRecovery(std::make_shared<ReportingRecovery>());
  MessageBoxRecorder boxes;
  dialog.SetDocument(&schedule);
  dialog.InitDialog();
  // Rebuilt beside the timetable: the reports reach the log as each is done.
  ASSERT_TRUE(testing::RunLoopUntil([&] { return dialog.NoteLines().size() >= 4; }, std::chrono::seconds(10)));
  InstallLeftoverRecovery(nullptr);

  EXPECT_THAT(boxes.Boxes(), ::testing::IsEmpty());  // nothing that waits for an answer
  EXPECT_THAT(dialog.NoteLines(),
              ::testing::ElementsAre("03/17 17:46:40 開始時刻を 10 秒過ぎた予約は録画しません: " + past.GetListText(),
                                     "03/17 17:46:40 中断された録画が残っていました。",
                                     "03/17 17:46:40 復旧しました: /v/a.recording-aaaaaa.avi → /v/a.avi",
                                     "03/17 17:46:40 読める映像がないため残しました: /w/b.recording-bbbbbb.avi"));
  EXPECT_EQ(Text(res::IDC_STATIC_ACTIVITY), "予約待機中");
  Click(&dialog, res::IDCANCEL);
}

// The message boxes shown without waiting that are still open.
std::vector<wxGenericMessageDialog*> OpenBoxes() {
  std::vector<wxGenericMessageDialog*> boxes;
  for (wxWindow* window : wxTopLevelWindows) {
    auto* box = dynamic_cast<wxGenericMessageDialog*>(window);
    if (box != nullptr && box->IsShown() && !wxPendingDelete.Member(box)) boxes.push_back(box);
  }
  return boxes;
}

TEST_F(RecStartWindow, ABoxShownWithoutWaitingTakesAClickOverTheModalWindow) {
  const ScopedMessageBoxPresenter realBoxes({});
  dialog.SetDocument(&schedule);
  const MessageBoxRequest failed{nullptr, "ファイルの書き込み 失敗!", "Tovalen", MessageIcon::kExclamation};
  std::size_t opened = 0;
  bool answered = false;
  dialog.CallAfter([&] {
    ShowMessageBoxWithoutWaiting(failed);
    ShowMessageBoxWithoutWaiting(failed);  // the one still open comes to the front instead
    opened = OpenBoxes().size();
    wxWindow* ok = opened == 1 ? OpenBoxes()[0]->FindWindow(wxID_OK) : nullptr;
    if (ok != nullptr && RunLoopUntil([&] { return ok->IsShownOnScreen(); })) {
      // GTK places the box a moment after showing it: wait until it has stayed put a while.
      wxRect placed;
      int unchanged = 0;
      RunLoopUntil([&] {
        const wxRect now = ok->GetScreenRect();
        unchanged = now == placed ? unchanged + 1 : 0;
        placed = now;
        return unchanged >= 20;
      });
      // A real click: one sent as an event would pass the modal window's hold on the input.
      wxUIActionSimulator input;
      input.MouseMove(ok->GetScreenRect().GetPosition() + ok->GetSize() / 2);
      input.MouseClick();
      answered = testing::RunLoopUntil([] { return OpenBoxes().empty(); }, std::chrono::seconds(5));
    }
    dialog.RequestClose();
  });
  dialog.ShowModal();
  for (wxGenericMessageDialog* box : OpenBoxes()) box->Destroy();
  EXPECT_EQ(opened, 1u);
  EXPECT_TRUE(answered);
}

TEST_F(RecStartWindow, ArmsATimerPerReservationAndShowsTheFirst) {
  schedule.AddYoyaku(FromNow(-10, 5, "/v/past.avi"));
  schedule.AddYoyaku(FromNow(60, 5, "/v/first.avi"));
  schedule.AddYoyaku(FromNow(120, 5, "/v/second.avi"));
  dialog.SetDocument(&schedule);
  dialog.InitDialog();
  EXPECT_EQ(schedule.GetYoyakuCount(), 2);  // the past one is gone
  EXPECT_EQ(Text(res::IDC_STATIC_ACTIVITY), "予約待機中");
  EXPECT_EQ(Text(res::IDC_STATIC_NEXT_RESERVATION), FromNow(60, 5, "/v/first.avi").GetListText());
  EXPECT_TRUE(dialog.IsTimerArmed(1));
  EXPECT_TRUE(dialog.IsTimerArmed(2));
  Click(&dialog, res::IDCANCEL);
  EXPECT_FALSE(dialog.IsTimerArmed(1));
  EXPECT_FALSE(dialog.IsTimerArmed(2));
}

TEST_F(RecStartWindow, ATimerThatFallsDueStartsTheRecordingAndShowsItsFailure) {
  // No device answers: waking the device fails, and the window says so.
  schedule.AddYoyaku(FromNow(0, 5, "/v/now.avi"));
  dialog.SetDocument(&schedule);
  dialog.InitDialog();
  ASSERT_TRUE(RunLoopUntil([&] { return dialog.Runner().GetFailedCount() == 1; }));
  EXPECT_EQ(Text(res::IDC_STATIC_ACTIVITY), "キャプチャ開始時にエラー発生");
  const std::string listText = FromNow(0, 5, "/v/now.avi").GetListText();
  EXPECT_EQ(Text(res::IDC_STATIC_NEXT_RESERVATION), listText);
  // Why, below the two texts, where it stays after the next reservation has started.
  EXPECT_THAT(dialog.NoteLines(), ::testing::ElementsAre("03/17 17:46:40 録画できませんでした: " + listText,
                                                         "  キャプチャデバイスを準備できませんでした"));
  clock.Advance(1);
  Click(&dialog, res::IDCANCEL);
  EXPECT_EQ(schedule.GetYoyakuCount(), 0);  // it has started, so it leaves the schedule
}

TEST_F(RecStartWindow, AStartReachedByTheWallClockBeginsBeforeItsTimerFallsDue) {
  schedule.AddYoyaku(FromNow(3600, 5, "/v/later.avi"));
  dialog.SetDocument(&schedule);
  dialog.InitDialog();
  clock.Advance(3600);  // a suspend of an hour: the timer still waits for its hour
  ASSERT_TRUE(RunLoopUntil([&] { return dialog.Runner().GetFailedCount() == 1; }));
  EXPECT_FALSE(dialog.IsTimerArmed(1));
  Click(&dialog, res::IDCANCEL);
}

}  // namespace
}  // namespace tovalen::testing
