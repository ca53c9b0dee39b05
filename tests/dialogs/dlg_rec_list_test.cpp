#include "dialogs/dlg_rec_list.h"

#include <gmock/gmock.h>
#include <wx/listbox.h>

#include "dialogs/wx_text.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "res/resource_ids.h"
#include "schedule/yoyaku_repeat.h"
#include "schedule/yoyaku_schedule.h"
#include "support/dialog_driver.h"
#include "support/reservation.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int64_t kNow = 1'900'000'000;

SYoyaku FromNow(std::int64_t startFromNow, Span32 length, const std::string& title) {
  return Reservation(kNow + startFromNow, length, title, "/videos/" + title + ".avi");
}

// A list dialog on a schedule whose editor answers with what the test queued, recording the
// reservation it was opened with.
class RecListDialog : public ::testing::Test {
 protected:
  RecListDialog() {
    schedule.AddYoyaku(FromNow(100, 100, "b"));
    schedule.AddYoyaku(FromNow(1000, 100, "c"));
    dialog.SetDocument(&schedule);
    dialog.SetReservationEditor([this](wxWindow*, const SYoyaku* initial) {
      editorOpenedWith.push_back(initial ? std::optional(*initial) : std::nullopt);
      return repeatAnswer ? repeatAnswer : std::optional<EditedReservations>(editorAnswer);
    });
    dialog.InitDialog();
  }

  wxListBox* List() { return ControlOf<wxListBox>(&dialog, res::IDC_LIST_YOYAKU); }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (unsigned i = 0; i < List()->GetCount(); ++i) lines.push_back(ToUtf8(List()->GetString(i)));
    return lines;
  }
  void Select(int line) { List()->SetSelection(line); }

  ScopedFakeClock clock{kNow};
  MessageBoxRecorder boxes;
  CYoyakuSchedule schedule;
  CDlgRecList dialog;
  std::optional<SYoyaku> editorAnswer;
  std::optional<EditedReservations> repeatAnswer;  // answered instead of editorAnswer when set
  std::vector<std::optional<SYoyaku>> editorOpenedWith;
};

// A line too long for the list shows whole as the tip of its row; a line that fits needs none.
TEST_F(RecListDialog, ShowsOneLinePerReservationWithNoneSelectedAndACutLineWholeAsItsTip) {
  EXPECT_THAT(Lines(), ElementsAre(schedule.GetYoyaku(0).GetListText(), schedule.GetYoyaku(1).GetListText()));
  EXPECT_EQ(List()->GetSelection(), wxNOT_FOUND);

  schedule.AddYoyaku(FromNow(5000, 10, "ドキュメンタリー 海の生き物 " + std::string(60, 'x')));
  dialog.InitDialog();
  dialog.Show();
  const auto pointAt = [this](int line) {
    int y = 0;
    while (y < List()->GetClientSize().y && List()->HitTest(wxPoint(5, y)) != line) ++y;
    wxMouseEvent motion(wxEVT_MOTION);
    motion.SetPosition(wxPoint(5, y));
    List()->GetEventHandler()->ProcessEvent(motion);
    return y < List()->GetClientSize().y;
  };
  // The rows have their places once GTK has drawn the shown list.
  ASSERT_TRUE(RunLoopUntil([&] { return pointAt(2); }, std::chrono::seconds(2)));
  EXPECT_EQ(ToUtf8(List()->GetToolTipText()), Lines()[2]);
  ASSERT_TRUE(pointAt(0));
  EXPECT_EQ(List()->GetToolTipText(), wxString());
}

TEST_F(RecListDialog, AddRefusesAnOverlapAndAcceptsAReservationThatOnlyTouches) {
  editorAnswer = FromNow(150, 10, "inside b");
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  EXPECT_THAT(boxes.Texts(), ElementsAre("時間帯が他の予約と重なっています"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "E:");
  EXPECT_EQ(boxes.Boxes()[0].icon, MessageIcon::kStop);
  EXPECT_EQ(boxes.Boxes()[0].owner, &dialog);
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"b", "c"}));

  editorAnswer = FromNow(0, 100, "a");  // ends as b starts
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  editorAnswer = FromNow(200, 800, "between");  // from b's end to c's start
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"a", "b", "between", "c"}));
  EXPECT_EQ(Lines().size(), 4u);
  EXPECT_EQ(Lines()[2], FromNow(200, 800, "between").GetListText());
  EXPECT_EQ(List()->GetSelection(), wxNOT_FOUND);
}

TEST_F(RecListDialog, ARepeatIsAddedOrEditedAllOrNothingNamingTheFirstClash) {
  const auto days = [](std::int64_t startFromNow, const char* title) {
    return EditedReservations(*ExpandRepeat(FromNow(startFromNow, 100, title), YoyakuRepeat::kDaily, 2));
  };
  repeatAnswer = days(-86'400 + 150, "r");  // its second day meets b
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], RepeatOverlapMessage(repeatAnswer->occurrences[1], schedule.GetYoyaku(0)));
  EXPECT_EQ(dialog.WorkingList().Count(), 2u);

  repeatAnswer = days(2000, "d");
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  Select(0);
  repeatAnswer = days(100 - 86'400 * 2, "b");  // b makes way: its old span does not count
  Click(&dialog, res::IDC_BUTTON_REC_EDIT);
  EXPECT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"b", "b", "c", "d", "d"}));
  EXPECT_EQ(Lines().size(), 5u);
}

TEST_F(RecListDialog, AddStartsFromTheSelectedReservationWithoutChangingIt) {
  Click(&dialog, res::IDC_BUTTON_REC_ADD);  // nothing selected: the editor's own default
  Select(1);
  editorAnswer = schedule.GetYoyaku(1);  // confirmed unchanged: it overlaps its template
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  ASSERT_EQ(editorOpenedWith.size(), 2u);
  EXPECT_EQ(editorOpenedWith[0], std::nullopt);
  EXPECT_EQ(editorOpenedWith[1], schedule.GetYoyaku(1));
  EXPECT_THAT(boxes.Texts(), ElementsAre("時間帯が他の予約と重なっています"));
  EXPECT_EQ(dialog.WorkingList().Count(), 2u);
}

TEST_F(RecListDialog, EditMayMoveWithinItsOwnSpanButNotIntoAnother) {
  Click(&dialog, res::IDC_BUTTON_REC_EDIT);  // nothing selected: no editor
  EXPECT_THAT(editorOpenedWith, IsEmpty());

  Select(0);
  editorAnswer = FromNow(150, 500, "b moved");
  Click(&dialog, res::IDC_BUTTON_REC_EDIT);
  EXPECT_THAT(boxes.Texts(), IsEmpty());
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"b moved", "c"}));

  Select(0);
  editorAnswer = FromNow(900, 200, "b into c");
  Click(&dialog, res::IDC_BUTTON_REC_EDIT);
  EXPECT_THAT(boxes.Texts(), ElementsAre("時間帯が他の予約と重なっています"));
  EXPECT_EQ(dialog.WorkingList().Items()[0], FromNow(150, 500, "b moved"));

  Select(1);
  editorAnswer = FromNow(-50, 10, "c before everything");
  Click(&dialog, res::IDC_BUTTON_REC_EDIT);
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"c before everything", "b moved"}));
  EXPECT_EQ(editorOpenedWith.back(), FromNow(1000, 100, "c"));
}

TEST_F(RecListDialog, AnEditorCancelledChangesNothing) {
  Select(0);
  Click(&dialog, res::IDC_BUTTON_REC_EDIT);
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  EXPECT_EQ(editorOpenedWith.size(), 2u);
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"b", "c"}));
}

TEST_F(RecListDialog, DeleteRemovesTheSelectedLineAndDeletePastTheStartedOnes) {
  Click(&dialog, res::IDC_BUTTON_REC_DELETE);  // nothing selected
  EXPECT_EQ(dialog.WorkingList().Count(), 2u);
  Select(1);
  Click(&dialog, res::IDC_BUTTON_REC_DELETE);
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"b"}));
  EXPECT_EQ(Lines().size(), 1u);

  editorAnswer = FromNow(5000, 10, "later");
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  clock.Set(kNow + 150);  // b has started, later has not
  Click(&dialog, res::IDC_BUTTON_REC_DELETE_PAST);
  EXPECT_EQ(Titles(dialog.WorkingList().Items()), (std::vector<std::string>{"later"}));
  EXPECT_EQ(Lines(), (std::vector<std::string>{FromNow(5000, 10, "later").GetListText()}));
}

TEST_F(RecListDialog, CancelLeavesTheScheduleUntouched) {
  const std::vector<SYoyaku> before = schedule.Items();
  editorAnswer = FromNow(3000, 10, "new");
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  Select(0);
  Click(&dialog, res::IDC_BUTTON_REC_DELETE);
  Click(&dialog, res::IDCANCEL);
  EXPECT_EQ(schedule.Items(), before);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDCANCEL);

  // The close box a window manager may draw is the Cancel button.
  dialog.SetReturnCode(0);
  dialog.Show();
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  dialog.Close();
  EXPECT_EQ(schedule.Items(), before);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDCANCEL);
}

TEST_F(RecListDialog, OkWritesTheListBackInStartTimeOrder) {
  editorAnswer = FromNow(-500, 10, "first");
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  editorAnswer = FromNow(500, 10, "middle");
  Click(&dialog, res::IDC_BUTTON_REC_ADD);
  Select(1);
  Click(&dialog, res::IDC_BUTTON_REC_DELETE);  // b
  Click(&dialog, res::IDOK);
  EXPECT_EQ(Titles(schedule.Items()), (std::vector<std::string>{"first", "middle", "c"}));
  EXPECT_EQ(dialog.GetReturnCode(), res::IDOK);
}

TEST(RecListDialogEmpty, AnEmptyScheduleStaysEmpty) {
  MessageBoxRecorder boxes;
  CYoyakuSchedule schedule;
  CDlgRecList dialog;
  dialog.SetDocument(&schedule);
  dialog.InitDialog();
  for (int id : {res::IDC_BUTTON_REC_EDIT, res::IDC_BUTTON_REC_DELETE, res::IDC_BUTTON_REC_DELETE_PAST, res::IDOK}) {
    Click(&dialog, id);
  }
  EXPECT_EQ(ControlOf<wxListBox>(&dialog, res::IDC_LIST_YOYAKU)->GetCount(), 0u);
  EXPECT_EQ(schedule.GetYoyakuCount(), 0);
  EXPECT_THAT(boxes.Boxes(), IsEmpty());
}

}  // namespace
}  // namespace tovalen::testing
