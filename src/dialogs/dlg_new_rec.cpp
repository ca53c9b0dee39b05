#include "dialogs/dlg_new_rec.h"

#include <wx/calctrl.h>
#include <wx/choice.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timectrl.h>

#include "dialogs/dialog_layout.h"
#include "dialogs/help_viewer.h"
#include "dialogs/label_mnemonic.h"
#include "dialogs/message_box.h"
#include "dialogs/save_file_dialog.h"
#include "dialogs/wx_text.h"
#include "platform/local_time.h"
#include "platform/trace.h"
#include "platform/user_folders.h"
#include "res/resource_ids.h"
#include "schedule/recording_target_rules.h"
#include "schedule/yoyaku_editor_rules.h"

namespace tovalen {
namespace {

// Where the template puts the month calendars.
constexpr DluRect kCalendarRow{0, 35, 0, 110};

}  // namespace

CDlgNewRec::CDlgNewRec(wxWindow* parent) : DialogBase(parent, res::IDD_DLG_NEW_REC, "録画予約編集") {
  m_start.tracePattern = "D: 録画開始時刻 %Y 年 %m 月 %d 日(%A) %H時 %M分 %S秒\n";
  m_end.tracePattern = "D: 録画終了時刻 %Y 年 %m 月 %d 日(%A) %H時 %M分 %S秒\n";
  // The record's own default names a file of another system; a new reservation here records
  // into the user's videos folder.
  m_yoyaku.strFileName = DefaultRecordingPath();
  CreateControls();
  Bind(wxEVT_INIT_DIALOG, &CDlgNewRec::OnInitDialog, this);
  // Only the calendar's own pick and the picker's change recompose; typing in the edit boxes
  // does not touch the times.
  for (TimeInput* input : {&m_start, &m_end}) {
    input->calendar->Bind(wxEVT_CALENDAR_SEL_CHANGED, [input](wxCalendarEvent&) { Compose(*input); });
    input->picker->Bind(wxEVT_TIME_CHANGED, [input](wxDateEvent&) { Compose(*input); });
  }
  Bind(wxEVT_BUTTON, &CDlgNewRec::OnOK, this, res::IDOK);
  Bind(wxEVT_BUTTON, &CDlgNewRec::OnButtonBrowse, this, res::IDC_BUTTON_BROWSE);
  BindPlainCancel();
  BindHelp(res::IDC_BUTTON_HELP_NEW_REC, help_page::kNewRec);
}

void CDlgNewRec::CreateControls() {
  const DialogLayout layout(this);
  // The repeat row lies below the original controls, which keep their places.
  layout.SetClientSize(319, 316);
  CreateTimeInput(m_start, 10, res::IDC_MONTHCALENDAR_START, res::IDC_STATIC_START, "録画開始日時",
                  "録画開始日をクリックしてください(&D)", "録画開始時間を設定してください(&T)");
  CreateTimeInput(m_end, 165, res::IDC_MONTHCALENDAR_END, res::IDC_STATIC_END, "録画終了日時",
                  "録画終了日をクリックしてください(&E)", "録画終了時間を設定してください(&O)");

  layout.GroupBox("保存ファイル名と番組名", {10, 225, 245, 55});
  wxStaticText* filePrompt = layout.Label(wxID_ANY, "保存ファイル名(&F)", {15, 240, 60, 15});
  const DluRect fileRect{80, 240, 110, 15};
  m_editFileName =
      new wxTextCtrl(this, res::IDC_EDIT_FILENAME, wxString(), layout.Position(fileRect), layout.Size(fileRect));
  LinkMnemonic(filePrompt, m_editFileName);
  layout.Button(res::IDC_BUTTON_BROWSE, "参照(&R)...", {195, 240, 50, 14});
  wxStaticText* titlePrompt = layout.Label(wxID_ANY, "番組名(&B)", {15, 260, 45, 15});
  const DluRect titleRect{80, 260, 110, 15};
  m_editTitle =
      new wxTextCtrl(this, res::IDC_EDIT_TITLE, wxString(), layout.Position(titleRect), layout.Size(titleRect));
  LinkMnemonic(titlePrompt, m_editTitle);

  layout.Button(res::IDOK, "OK", {260, 230, 50, 14});
  layout.Button(res::IDCANCEL, "キャンセル", {260, 250, 50, 14});
  layout.Button(res::IDC_BUTTON_HELP_NEW_REC, "ヘルプ(&H)...", {260, 270, 40, 15});
  CreateRepeatControls();
  SetDefaultButton(res::IDOK);
  layout.CloseGapBelow({m_start.calendar, m_end.calendar}, kCalendarRow);
  layout.FitToBestSizes();
}

void CDlgNewRec::CreateRepeatControls() {
  const DialogLayout layout(this);
  wxStaticText* repeatPrompt = layout.Label(wxID_ANY, "繰り返し(&P)", {15, 292, 45, 10});
  m_repeat = new wxChoice(this, res::IDC_COMBO_REPEAT);
  for (const char* item : {"しない", "毎日", "毎週", "月〜金"}) m_repeat->Append(ToWx(item));
  m_repeat->SetSelection(0);
  layout.PlaceAtLeastBest(m_repeat, {65, 290, 60, 14});
  LinkMnemonic(repeatPrompt, m_repeat);
  wxStaticText* countPrompt = layout.Label(wxID_ANY, "回数(&N)", {140, 292, 30, 10});
  m_repeatCount = new wxSpinCtrl(this, res::IDC_SPIN_REPEAT_COUNT, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                 wxSP_ARROW_KEYS, kMinRepeatCount, kMaxRepeatCount, kMinRepeatCount);
  layout.PlaceAtLeastBest(m_repeatCount, {175, 290, 40, 14});
  LinkMnemonic(countPrompt, m_repeatCount);
  m_repeatCount->Enable(false);
  m_repeat->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { m_repeatCount->Enable(m_repeat->GetSelection() > 0); });
}

YoyakuRepeat CDlgNewRec::ChosenRepeat() const {
  constexpr YoyakuRepeat kItems[] = {YoyakuRepeat::kNone, YoyakuRepeat::kDaily, YoyakuRepeat::kWeekly,
                                     YoyakuRepeat::kWeekdays};
  const int item = m_repeat->GetSelection();
  return item > 0 && item < 4 ? kItems[item] : YoyakuRepeat::kNone;
}

void CDlgNewRec::CreateTimeInput(TimeInput& input, int left, int firstId, int labelId, const char* frame,
                                 const char* datePrompt, const char* timePrompt) {
  const DialogLayout layout(this);
  const int inner = left + 15;
  layout.GroupBox(frame, {left, 5, 145, 210});
  wxStaticText* dateLabel = layout.Label(wxID_ANY, datePrompt, {inner, 20, 120, 8});
  const DluRect calendarRect{inner, kCalendarRow.y, 115, kCalendarRow.h};
  // The toolkit draws its month shorter than the template's box: the calendar takes its own height.
  input.calendar = new wxCalendarCtrl(this, firstId, wxDefaultDateTime, layout.Position(calendarRect), wxDefaultSize,
                                      wxCAL_SHOW_HOLIDAYS);
  input.calendar->SetSize(layout.Size(calendarRect).x, input.calendar->GetBestSize().y);
  LinkMnemonic(dateLabel, input.calendar);
  wxStaticText* timeLabel = layout.Label(wxID_ANY, timePrompt, {inner, 155, 120, 8});
  const DluRect pickerRect{inner, 170, 45, 15};
  input.picker = new wxTimePickerCtrl(this, firstId + 1);
  layout.PlaceAtLeastBest(input.picker, pickerRect);
  LinkMnemonic(timeLabel, input.picker);
  input.label = layout.Label(labelId, "", {inner, 195, left == 10 ? 115 : 120, 8}, wxALIGN_LEFT);
  // The composed time is shown only once the dialog opens: room for the widest one now.
  input.label->SetLabel(ToWx(FormatEditorLabel({2000, 12, 28, 20, 58, 58})));
  input.label->SetMinSize(input.label->GetBestSize());
  input.label->SetLabel(wxString());
}

void CDlgNewRec::OnInitDialog(wxInitDialogEvent&) {
  ShowTime(m_start, m_yoyaku.timeStart);
  ShowTime(m_end, std::int64_t{m_yoyaku.timeStart} + m_yoyaku.spanDuration);
  m_editFileName->ChangeValue(ToWx(m_yoyaku.strFileName));
  m_editTitle->ChangeValue(ToWx(m_yoyaku.strTitle));
  Compose(m_start);
  Compose(m_end);
}

void CDlgNewRec::ShowTime(TimeInput& input, std::int64_t time) {
  const auto local = BreakDownLocalTime(time);
  if (!local) return;
  input.calendar->SetDate(wxDateTime(static_cast<wxDateTime::wxDateTime_t>(local->day),
                                     static_cast<wxDateTime::Month>(local->month - 1), local->year));
  input.picker->SetTime(local->hour, local->minute, local->second);
}

void CDlgNewRec::Compose(TimeInput& input) {
  const wxDateTime date = input.calendar->GetDate();
  if (!date.IsValid()) return;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!input.picker->GetTime(&hour, &minute, &second)) return;
  const LocalDateTime when{date.GetYear(), static_cast<int>(date.GetMonth()) + 1, date.GetDay(), hour, minute, second};
  // A date the C library cannot convert counts as the invalid time -1, which every check refuses.
  input.time = MakeLocalTime(when).value_or(-1);
  input.labelText = FormatEditorLabel(when);
  input.label->SetLabel(ToWx(input.labelText));
  Trace(FormatLocalTime(input.time, input.tracePattern));
}

void CDlgNewRec::OnOK(wxCommandEvent&) {
  m_strFileName = ToUtf8(m_editFileName->GetValue());
  m_strTitle = ToUtf8(m_editTitle->GetValue());
  const YoyakuTimeProblem problem = CheckYoyakuTimes(m_start.time, m_end.time, Clock::Now());
  if (problem != YoyakuTimeProblem::kNone) {
    ShowErrorMessage(this, YoyakuTimeProblemMessage(problem));
    return;
  }
  // Both times lie within the 32-bit range now, so the length does too.
  SYoyaku edited = m_yoyaku;
  edited.timeStart = static_cast<Time32>(m_start.time);
  edited.spanDuration = static_cast<Span32>(m_end.time - m_start.time);
  edited.strTitle = m_strTitle;
  edited.strFileName = m_strFileName;
  const YoyakuRepeat repeat = ChosenRepeat();
  const auto occurrences = ExpandRepeat(edited, repeat, m_repeatCount->GetValue());
  if (!occurrences) {
    ShowErrorMessage(this, YoyakuTimeProblemMessage(YoyakuTimeProblem::kBeyondStorable));
    return;
  }
  const auto refusal = FindRefusedTarget(*occurrences, m_schedulePath);
  if (refusal) {
    ShowErrorMessage(this, RecordingTargetProblemMessage(refusal->problem, refusal->target));
    return;
  }
  if (!TargetFitsTheDevice(edited.strFileName)) return;
  m_yoyaku = edited;
  m_occurrences = repeat == YoyakuRepeat::kNone ? std::vector<SYoyaku>{} : *occurrences;
  Finish(res::IDOK);
}

bool CDlgNewRec::TargetFitsTheDevice(const std::string& target) {
  if (!m_targetCheck || target == m_checkedTarget) return true;
  const TargetCheckAnswer answer = m_targetCheck->Check(m_deviceIndex, target);
  if (!answer.Accepted()) {
    ShowErrorMessage(this, answer.refusal);
    return false;
  }
  if (!answer.warning.empty())
    ShowMessageBox({this, answer.warning, "W:", MessageIcon::kExclamation, MessageButtons::kOk});
  m_checkedTarget = target;
  return true;
}

void CDlgNewRec::OnButtonBrowse(wxCommandEvent&) {
  // Starts from the stored name, not from what is typed in the box.
  const auto path = AskSaveFile({nullptr,
                                 {{"AVI files (*.AVI)", "*.avi"}, {"All files (*.*)", "*.*"}},
                                 RecordingDialogStartPath(m_yoyaku.strFileName),
                                 "avi"});
  if (!path) return;
  Trace("D: file name = ");
  Trace(*path);
  Trace("\n");
  m_yoyaku.strFileName = *path;
  m_editFileName->ChangeValue(ToWx(*path));
}

}  // namespace tovalen
