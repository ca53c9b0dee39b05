#include "dialogs/dlg_new_rec.h"

#include <gmock/gmock.h>
#include <gtk/gtk.h>
#include <wx/calctrl.h>
#include <wx/choice.h>
#include <wx/evtloop.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timectrl.h>

#include "dialogs/save_file_dialog.h"
#include "dialogs/wx_text.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/user_folders.h"
#include "res/resource_ids.h"
#include "support/dialog_driver.h"
#include "support/reservation.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::int64_t At(const char* text) { return ParseLocalTime(text).value(); }

SYoyaku News(const char* start, Span32 seconds) {
  return Reservation(At(start), seconds, "ニュース", "/videos/news.avi");
}

// Picks a day on a calendar as the user does: the date, then the calendar's notification.
void PickDate(wxWindow* dialog, int calendarId, int year, int month, int day) {
  auto* calendar = ControlOf<wxCalendarCtrl>(dialog, calendarId);
  const wxDateTime date(static_cast<wxDateTime::wxDateTime_t>(day), static_cast<wxDateTime::Month>(month - 1), year);
  calendar->SetDate(date);
  wxCalendarEvent event(calendar, date, wxEVT_CALENDAR_SEL_CHANGED);
  calendar->GetEventHandler()->ProcessEvent(event);
}

void SetTime(wxWindow* dialog, int pickerId, int hour, int minute, int second) {
  auto* picker = ControlOf<wxTimePickerCtrl>(dialog, pickerId);
  picker->SetTime(hour, minute, second);
  wxDateEvent event(picker, picker->GetValue(), wxEVT_TIME_CHANGED);
  picker->GetEventHandler()->ProcessEvent(event);
}

std::string LabelText(wxWindow* dialog, int id) { return ToUtf8(ControlOf<wxStaticText>(dialog, id)->GetLabel()); }

void Type(wxWindow* dialog, int id, const char* text) { ControlOf<wxTextCtrl>(dialog, id)->SetValue(ToWx(text)); }

class NewRecDialog : public ::testing::Test {
 protected:
  ScopedFakeClock clock{At("2030-01-01 12:00:00")};
  MessageBoxRecorder boxes;
};

TEST_F(NewRecDialog, OpensOnTheReservationAndLabelsItsTimesWithSpacePaddedSeconds) {
  CDlgNewRec dialog;
  dialog.SetYoyaku(News("2030-01-02 03:04:05", 23 * 3600));  // ends the next day
  TraceCapture trace;
  dialog.InitDialog();
  EXPECT_EQ(LabelText(&dialog, res::IDC_STATIC_START), "2030年 01月 02日 03時 04分  5秒");
  EXPECT_EQ(LabelText(&dialog, res::IDC_STATIC_END), "2030年 01月 03日 02時 04分  5秒");
  EXPECT_EQ(ControlOf<wxCalendarCtrl>(&dialog, res::IDC_MONTHCALENDAR_END)->GetDate().GetDay(), 3);
  EXPECT_EQ(ToUtf8(ControlOf<wxTextCtrl>(&dialog, res::IDC_EDIT_TITLE)->GetValue()), "ニュース");
  EXPECT_EQ(ToUtf8(ControlOf<wxTextCtrl>(&dialog, res::IDC_EDIT_FILENAME)->GetValue()), "/videos/news.avi");
  EXPECT_THAT(trace.Pieces(), ElementsAre("D: 録画開始時刻 2030 年 01 月 02 日(Wednesday) 03時 04分 05秒\n",
                                          "D: 録画終了時刻 2030 年 01 月 03 日(Thursday) 02時 04分 05秒\n"));

  // Confirmed unchanged, a reservation past midnight keeps its end.
  ASSERT_NO_FATAL_FAILURE(Click(&dialog, res::IDOK));
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(dialog.GetYoyaku(), News("2030-01-02 03:04:05", 23 * 3600));
}

TEST_F(NewRecDialog, PickingADateOrATimeRecomposesOnlyItsOwnSide) {
  CDlgNewRec dialog;
  dialog.SetYoyaku(News("2030-01-02 03:04:05", 60));
  dialog.InitDialog();
  PickDate(&dialog, res::IDC_MONTHCALENDAR_START, 2030, 11, 9);
  EXPECT_EQ(dialog.GetStartTime(), At("2030-11-09 03:04:05"));
  EXPECT_EQ(LabelText(&dialog, res::IDC_STATIC_START), "2030年 11月 09日 03時 04分  5秒");
  SetTime(&dialog, res::IDC_DATETIMEPICKER_START, 21, 30, 45);
  EXPECT_EQ(LabelText(&dialog, res::IDC_STATIC_START), "2030年 11月 09日 21時 30分 45秒");
  EXPECT_EQ(dialog.GetStartTime(), At("2030-11-09 21:30:45"));
  EXPECT_EQ(dialog.GetEndTime(), At("2030-01-02 03:05:05"));

  PickDate(&dialog, res::IDC_MONTHCALENDAR_END, 2030, 11, 10);
  SetTime(&dialog, res::IDC_DATETIMEPICKER_END, 0, 0, 0);
  EXPECT_EQ(LabelText(&dialog, res::IDC_STATIC_END), "2030年 11月 10日 00時 00分  0秒");
  Type(&dialog, res::IDC_EDIT_TITLE, "深夜映画");
  Type(&dialog, res::IDC_EDIT_FILENAME, "");
  Click(&dialog, res::IDOK);
  ASSERT_TRUE(boxes.Boxes().empty());
  const SYoyaku result = dialog.GetYoyaku();
  EXPECT_EQ(result.timeStart, At("2030-11-09 21:30:45"));
  EXPECT_EQ(result.spanDuration, 2 * 3600 + 29 * 60 + 15);
  EXPECT_EQ(result.strTitle, "深夜映画");
  EXPECT_EQ(result.strFileName, "");
  EXPECT_EQ(dialog.GetReturnCode(), res::IDOK);
}

TEST_F(NewRecDialog, OkRefusesAPastStartThenAnEndNotAfterTheStartAndStaysOpen) {
  CDlgNewRec dialog;
  const SYoyaku original = News("2030-01-01 11:59:59", 600);
  dialog.SetYoyaku(original);
  dialog.InitDialog();
  Type(&dialog, res::IDC_EDIT_TITLE, "変更");
  Click(&dialog, res::IDOK);  // the end is wrong too, but only the first check speaks
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "録画開始時刻を未来の時刻にしてください。");
  EXPECT_EQ(boxes.Boxes()[0].caption, "E:");
  EXPECT_EQ(boxes.Boxes()[0].icon, MessageIcon::kStop);
  EXPECT_EQ(boxes.Boxes()[0].owner, &dialog);

  SetTime(&dialog, res::IDC_DATETIMEPICKER_START, 12, 0, 0);  // the current second passes
  SetTime(&dialog, res::IDC_DATETIMEPICKER_END, 12, 0, 0);
  Click(&dialog, res::IDOK);
  SetTime(&dialog, res::IDC_DATETIMEPICKER_END, 11, 0, 0);
  Click(&dialog, res::IDOK);
  EXPECT_THAT(boxes.Texts(), ElementsAre("録画開始時刻を未来の時刻にしてください。",
                                         "録画終了時間を録画開始時間よりも後にしてください。",
                                         "録画終了時間を録画開始時間よりも後にしてください。"));
  EXPECT_EQ(dialog.GetYoyaku(), original);
  EXPECT_EQ(ToUtf8(ControlOf<wxTextCtrl>(&dialog, res::IDC_EDIT_TITLE)->GetValue()), "変更");
  EXPECT_EQ(dialog.GetReturnCode(), 0);
}

TEST_F(NewRecDialog, OkRefusesTimesTheScheduleFileCannotHold) {
  CDlgNewRec dialog;
  dialog.SetYoyaku(News("2038-01-19 00:00:00", 60));
  dialog.InitDialog();
  PickDate(&dialog, res::IDC_MONTHCALENDAR_END, 2038, 1, 20);
  Click(&dialog, res::IDOK);
  PickDate(&dialog, res::IDC_MONTHCALENDAR_START, 2040, 5, 1);
  PickDate(&dialog, res::IDC_MONTHCALENDAR_END, 2040, 5, 2);
  Click(&dialog, res::IDOK);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  for (const auto& box : boxes.Boxes()) EXPECT_THAT(box.text, HasSubstr("2038年1月19日"));
  EXPECT_EQ(dialog.GetYoyaku(), News("2038-01-19 00:00:00", 60));
}

TEST_F(NewRecDialog, AFreshEditorStartsNowAndIsRefusedUnchanged) {
  CDlgNewRec dialog;
  dialog.InitDialog();
  EXPECT_EQ(dialog.GetStartTime(), Clock::Now());
  EXPECT_EQ(dialog.GetEndTime(), Clock::Now());
  Click(&dialog, res::IDOK);  // same second: only the end is wrong
  clock.Advance(1);
  Click(&dialog, res::IDOK);
  EXPECT_THAT(boxes.Texts(), ElementsAre("録画終了時間を録画開始時間よりも後にしてください。",
                                         "録画開始時刻を未来の時刻にしてください。"));
}

void ChooseRepeat(wxWindow* dialog, int item, int count) {
  auto* choice = ControlOf<wxChoice>(dialog, res::IDC_COMBO_REPEAT);
  choice->SetSelection(item);
  wxCommandEvent event(wxEVT_CHOICE, res::IDC_COMBO_REPEAT);
  event.SetEventObject(choice);
  event.SetInt(item);
  choice->GetEventHandler()->ProcessEvent(event);
  ControlOf<wxSpinCtrl>(dialog, res::IDC_SPIN_REPEAT_COUNT)->SetValue(count);
}

std::vector<std::string> FileNames(const std::vector<SYoyaku>& reservations) {
  std::vector<std::string> names;
  for (const auto& yoyaku : reservations) names.push_back(yoyaku.strFileName);
  return names;
}

TEST_F(NewRecDialog, ARepeatGivesEveryOccurrenceAndTheDefaultGivesTheReservationAsToday) {
  CDlgNewRec plain;
  plain.SetYoyaku(News("2030-01-02 03:04:05", 60));
  plain.InitDialog();
  EXPECT_EQ(ToUtf8(ControlOf<wxChoice>(&plain, res::IDC_COMBO_REPEAT)->GetStringSelection()), "しない");
  EXPECT_FALSE(ControlOf<wxSpinCtrl>(&plain, res::IDC_SPIN_REPEAT_COUNT)->IsEnabled());
  Click(&plain, res::IDOK);
  EXPECT_TRUE(plain.GetOccurrences().empty());
  EXPECT_EQ(plain.GetYoyaku(), News("2030-01-02 03:04:05", 60));

  CDlgNewRec weekly;
  weekly.SetYoyaku(News("2030-01-02 03:04:05", 60));
  weekly.InitDialog();
  ChooseRepeat(&weekly, 2, 3);
  EXPECT_TRUE(ControlOf<wxSpinCtrl>(&weekly, res::IDC_SPIN_REPEAT_COUNT)->IsEnabled());
  Click(&weekly, res::IDOK);
  EXPECT_THAT(FileNames(weekly.GetOccurrences()),
              ElementsAre("/videos/news_2030-01-02.avi", "/videos/news_2030-01-09.avi", "/videos/news_2030-01-16.avi"));

  CDlgNewRec beyond;
  beyond.SetYoyaku(News("2038-01-13 00:00:00", 60));
  beyond.InitDialog();
  ChooseRepeat(&beyond, 2, 2);
  Click(&beyond, res::IDOK);
  EXPECT_THAT(boxes.Texts(), ElementsAre(HasSubstr("2038年1月19日")));
  EXPECT_EQ(beyond.GetReturnCode(), 0);
  EXPECT_TRUE(beyond.GetOccurrences().empty());
}

TEST_F(NewRecDialog, OkRefusesATargetThatIsTheScheduleOrWhoseDerivedNamesCannotFitAndSaysWhy) {
  TempDir dir;
  const std::string schedule = dir.File("s.yyk");
  WriteFileBytes(schedule, "schedule");
  const std::string longest = dir.File(std::string(233, 'n') + ".avi");
  CDlgNewRec dialog;
  dialog.SetYoyaku(News("2030-01-02 03:04:05", 60));
  dialog.SetSchedulePath(schedule);
  dialog.InitDialog();
  Type(&dialog, res::IDC_EDIT_FILENAME, (dir.File("./s.yyk")).c_str());
  Click(&dialog, res::IDOK);
  Type(&dialog, res::IDC_EDIT_FILENAME, (longest + "x").c_str());
  Click(&dialog, res::IDOK);
  Type(&dialog, res::IDC_EDIT_FILENAME, longest.c_str());
  ChooseRepeat(&dialog, 1, 2);  // the date added to each name no longer fits
  Click(&dialog, res::IDOK);
  EXPECT_THAT(boxes.Texts(), ElementsAre("予約ファイル自身には録画できません。別の録画ファイルを指定してください。",
                                         HasSubstr("237 バイト以内"), HasSubstr("237 バイト以内")));
  EXPECT_EQ(dialog.GetReturnCode(), 0);

  ChooseRepeat(&dialog, 0, 1);
  Click(&dialog, res::IDOK);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDOK);
  EXPECT_EQ(dialog.GetYoyaku().strFileName, longest);
}

// Refuses an .mp4 and cannot check an .mkv; remembers what it was asked.
class CopyCheck : public RecordingTargetCheck {
 public:
  TargetCheckAnswer Check(std::int32_t deviceIndex, const std::string& target) const override {
    asked.push_back(std::to_string(deviceIndex) + " " + target);
    if (target.ends_with(".mp4")) return {"この録画ファイルには録画できません。", {}};
    if (target.ends_with(".mkv")) return {{}, "確かめられませんでした。"};
    return {};
  }
  mutable std::vector<std::string> asked;
};

TEST_F(NewRecDialog, OkChecksANewTargetAgainstTheDeviceAndShowsWhatItCouldNotCheck) {
  CopyCheck check;
  CDlgNewRec unchanged;
  unchanged.SetYoyaku(News("2030-01-02 03:04:05", 60));
  unchanged.SetTargetCheck(&check, 3);
  unchanged.InitDialog();
  Click(&unchanged, res::IDOK);
  EXPECT_EQ(unchanged.GetReturnCode(), res::IDOK);
  EXPECT_TRUE(check.asked.empty());  // its own target was checked when it was entered

  CDlgNewRec dialog;
  dialog.SetYoyaku(News("2030-01-02 03:04:05", 60));
  dialog.SetTargetCheck(&check, 3);
  dialog.InitDialog();
  Type(&dialog, res::IDC_EDIT_FILENAME, "/videos/news.mp4");
  Click(&dialog, res::IDOK);
  EXPECT_EQ(dialog.GetReturnCode(), 0);
  Type(&dialog, res::IDC_EDIT_FILENAME, "/videos/news.mkv");
  Click(&dialog, res::IDOK);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDOK);
  EXPECT_EQ(dialog.GetYoyaku().strFileName, "/videos/news.mkv");
  EXPECT_THAT(boxes.Texts(), ElementsAre("この録画ファイルには録画できません。", "確かめられませんでした。"));
  EXPECT_THAT(check.asked, ElementsAre("3 /videos/news.mp4", "3 /videos/news.mkv"));
}

TEST_F(NewRecDialog, BrowseStartsFromTheStoredNameAndReplacesTheTypedOne) {
  std::vector<SaveFileQuestion> questions;
  std::optional<std::string> answer = "/videos/chosen.avi";
  ScopedSaveFilePresenter files([&](const SaveFileQuestion& question) {
    questions.push_back(question);
    return answer;
  });
  CDlgNewRec dialog;
  dialog.SetYoyaku(News("2030-01-02 03:04:05", 60));
  dialog.InitDialog();
  Type(&dialog, res::IDC_EDIT_FILENAME, "/typed/name.avi");
  Type(&dialog, res::IDC_EDIT_TITLE, "題名");
  TraceCapture trace;
  Click(&dialog, res::IDC_BUTTON_BROWSE);
  EXPECT_THAT(trace.Pieces(), ElementsAre("D: file name = ", "/videos/chosen.avi", "\n"));
  answer.reset();
  Click(&dialog, res::IDC_BUTTON_BROWSE);  // cancelled: nothing changes

  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0].initialPath, "/videos/news.avi");
  EXPECT_EQ(questions[1].initialPath, "/videos/chosen.avi");
  EXPECT_EQ(questions[0].defaultExtension, "avi");
  EXPECT_EQ(questions[0].filters.front().second, "*.avi");
  EXPECT_EQ(ToUtf8(ControlOf<wxTextCtrl>(&dialog, res::IDC_EDIT_FILENAME)->GetValue()), "/videos/chosen.avi");
  EXPECT_EQ(ToUtf8(ControlOf<wxTextCtrl>(&dialog, res::IDC_EDIT_TITLE)->GetValue()), "題名");

  // A new reservation, and one stored by another system, start in the user's videos folder.
  CDlgNewRec fresh;
  fresh.InitDialog();
  EXPECT_EQ(ToUtf8(ControlOf<wxTextCtrl>(&fresh, res::IDC_EDIT_FILENAME)->GetValue()), DefaultRecordingPath());
  CDlgNewRec foreign;
  SYoyaku stored = News("2030-01-02 03:04:05", 60);
  stored.strFileName = kDefaultYoyakuFileName;
  foreign.SetYoyaku(stored);
  foreign.InitDialog();
  answer.reset();
  Click(&fresh, res::IDC_BUTTON_BROWSE);
  Click(&foreign, res::IDC_BUTTON_BROWSE);
  ASSERT_EQ(questions.size(), 4u);
  EXPECT_EQ(questions[2].initialPath, DefaultRecordingPath());
  EXPECT_EQ(questions[3].initialPath, DefaultRecordingPath());
  EXPECT_THAT(DefaultRecordingPath(), ::testing::StartsWith("/"));
}

// Alt and a prompt's underlined letter, as the keyboard sends them to the dialog.
void PressAlt(wxWindow* dialog, unsigned keyval) {
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(static_cast<GtkWidget*>(dialog->GetHandle()))));
  event->key.keyval = keyval;
  event->key.state = GDK_MOD1_MASK;
  // GTK matches mnemonics by the key's hardware code.
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys, &count) &&
      count > 0) {
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
  }
  g_free(keys);
  event->key.time = GDK_CURRENT_TIME;
  gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gdk_event_put(event);
  gdk_event_free(event);
}

GtkWidget* FocusedWidget(wxWindow* dialog) {
  return gtk_window_get_focus(GTK_WINDOW(static_cast<GtkWidget*>(dialog->GetHandle())));
}

TEST_F(NewRecDialog, APromptsUnderlinedLetterMovesTheFocusToItsControl) {
  wxGUIEventLoop loop;
  wxEventLoopActivator active(&loop);
  CDlgNewRec dialog;
  dialog.SetYoyaku(News("2030-01-02 03:04:05", 60));
  dialog.Show();
  const auto settle = [&] {
    for (int i = 0; i < 10; ++i) loop.YieldFor(wxEVT_CATEGORY_ALL);
  };
  settle();
  PressAlt(&dialog, GDK_KEY_b);
  settle();
  EXPECT_EQ(FocusedWidget(&dialog), ControlOf<wxTextCtrl>(&dialog, res::IDC_EDIT_TITLE)->GetHandle());
  PressAlt(&dialog, GDK_KEY_e);
  settle();
  EXPECT_EQ(FocusedWidget(&dialog), ControlOf<wxCalendarCtrl>(&dialog, res::IDC_MONTHCALENDAR_END)->GetHandle());
  dialog.Hide();
}

TEST(SaveFileName, TheDefaultExtensionIsAddedOnlyToANameWithoutOne) {
  EXPECT_EQ(WithDefaultExtension("/v/news", "avi"), "/v/news.avi");
  EXPECT_EQ(WithDefaultExtension("/v/news.mkv", "avi"), "/v/news.mkv");
  EXPECT_EQ(WithDefaultExtension("/v.d/news", "avi"), "/v.d/news.avi");
  EXPECT_EQ(WithDefaultExtension("/v/news", ""), "/v/news");
}

}  // namespace
}  // namespace tovalen::testing
