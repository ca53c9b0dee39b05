#include "dialogs/dlg_rec_start.h"

#include <wx/panel.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "dialogs/app_icon.h"
#include "dialogs/dialog_layout.h"
#include "dialogs/leftover_message.h"
#include "dialogs/wx_text.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "res/resource_ids.h"

namespace tovalen {
namespace {

// A sunken text field: GTK draws no border around a plain label, so the label sits in a
// sunken panel, centred vertically.
wxStaticText* SunkenText(wxWindow* parent, const DialogLayout& layout, int id, const char* text, const DluRect& rect,
                         long align) {
  auto* panel = new wxPanel(parent, wxID_ANY, layout.Position(rect), layout.Size(rect), wxBORDER_SUNKEN);
  // A colour of its own makes the panel paint its whole area on every draw; a label alone
  // draws only its letters over whatever was there.
  panel->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
  auto* label = new wxStaticText(panel, id, ToWx(text), wxDefaultPosition, wxDefaultSize,
                                 align | wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->AddStretchSpacer();
  sizer->Add(label, 0, wxEXPAND | wxLEFT | wxRIGHT, 2);
  sizer->AddStretchSpacer();
  panel->SetSizer(sizer);
  return label;
}

// A run lasts for weeks: the oldest lines go first.
constexpr int kMostLogLines = 1000;

}  // namespace

CDlgRecStart::CDlgRecStart(wxWindow* parent) : DialogBase(parent, res::IDD_DLG_REC_START, "予約録画状況") {
  CreateControls();
  Bind(wxEVT_INIT_DIALOG, &CDlgRecStart::OnInitDialog, this);
  Bind(wxEVT_TIMER, &CDlgRecStart::OnTimer, this);
  Bind(wxEVT_BUTTON, &CDlgRecStart::OnCancel, this, res::IDCANCEL);
  Bind(wxEVT_CLOSE_WINDOW, &CDlgRecStart::OnClose, this);
}

CDlgRecStart::~CDlgRecStart() {
  m_ticker.Stop();
  for (auto& [id, timer] : m_timers) timer->Stop();
}

void CDlgRecStart::CreateControls() {
  const DialogLayout layout(this);
  layout.SetClientSize(355, 175);
  layout.GroupBox("次の予約", {5, 5, 345, 40});
  m_nextReservation = SunkenText(this, layout, res::IDC_STATIC_NEXT_RESERVATION, "", {10, 20, 335, 15}, wxALIGN_LEFT);
  layout.GroupBox("活動状態", {5, 55, 135, 40});
  m_activity =
      SunkenText(this, layout, res::IDC_STATIC_ACTIVITY, "アイドル", {10, 71, 125, 15}, wxALIGN_CENTRE_HORIZONTAL);
  layout.Button(res::IDOK, "OK", {300, 60, 50, 14})->Disable();
  layout.Button(res::IDCANCEL, "キャンセル", {300, 80, 50, 14});
  const DluRect iconRect{255, 60, 16, 17};
  new wxStaticBitmap(this, wxID_ANY, AppIcon(), layout.Position(iconRect), layout.Size(iconRect));
  layout.GroupBox("お知らせ", {5, 100, 345, 70});
  m_log = new wxTextCtrl(this, res::IDC_EDIT_RUNNER_NOTES, wxString(), wxDefaultPosition, wxDefaultSize,
                         wxTE_MULTILINE | wxTE_READONLY | wxTE_BESTWRAP);
  layout.Place(m_log, {10, 112, 335, 53});
  SetDefaultButton(res::IDCANCEL);
  layout.FitToBestSizes();
}

void CDlgRecStart::OnInitDialog(wxInitDialogEvent&) {
  m_runner.Open();
  m_ticker.Start(static_cast<int>(CRecordingRunner::kWallClockTick.count()));
}

void CDlgRecStart::ShowDisplay(const RunnerDisplay& display) {
  m_nextReservation->SetLabel(ToWx(display.nextReservation));
  m_nextReservation->SetToolTip(ToWx(display.nextReservation));  // a long line is cut short
  m_activity->SetLabel(ToWx(display.activity));
  m_activity->SetToolTip(ToWx(display.failure));  // the error text itself says no more
  if (display.state == RunnerState::kStarting) m_loggedFailure.clear();
  if (display.state == RunnerState::kError && !display.failure.empty() && display.failure != m_loggedFailure) {
    AddLogEntry("録画できませんでした: " + display.nextReservation + "\n  " + display.failure);
    m_loggedFailure = display.failure;
  }
  // A recording runs inside a timer handler: draw the new texts now rather than when it returns.
  // The whole field is drawn again, so no letter of the previous text stays behind.
  for (wxStaticText* field : {m_nextReservation, m_activity}) {
    field->GetParent()->Refresh();
    field->GetParent()->Update();
  }
}

void CDlgRecStart::Note(const std::string& line) {
  if (!m_loggedFailure.empty() && line == m_loggedFailure) return;  // already in the log
  AddLogEntry(line);
}

// Leftovers are rebuilt beside the timetable: each is logged as soon as it is done, under one
// heading.
void CDlgRecStart::NoteLeftover(const LeftoverReport& report) {
  std::vector<std::string> lines = LeftoverReportLines({report});
  if (m_leftoverHeadingLogged && !lines.empty()) lines.erase(lines.begin());
  m_leftoverHeadingLogged = true;
  for (const std::string& line : lines) AddLogEntry(line);
}

void CDlgRecStart::AddLogEntry(const std::string& text) {
  if (m_log->GetNumberOfLines() > kMostLogLines) m_log->Remove(0, m_log->XYToPosition(0, kMostLogLines / 10));
  const std::string stamp = FormatLocalTime(Clock::Now(), "%m/%d %H:%M:%S");
  // AppendText scrolls to the newest line.
  m_log->AppendText(ToWx((m_log->IsEmpty() ? "" : "\n") + stamp + " " + text));
  m_log->Update();
}

std::vector<std::string> CDlgRecStart::NoteLines() const {
  std::vector<std::string> lines;
  for (int line = 0; line < m_log->GetNumberOfLines(); ++line) lines.push_back(ToUtf8(m_log->GetLineText(line)));
  if (lines.size() == 1 && lines[0].empty()) lines.clear();
  return lines;
}

void CDlgRecStart::ArmTimer(std::uint32_t id, std::chrono::milliseconds delay) {
  auto& timer = m_timers[id];
  if (!timer) timer = std::make_unique<wxTimer>(this, static_cast<int>(id));
  // The runner never asks for more than a platform timer holds; 0 means "as soon as the loop runs".
  timer->StartOnce(static_cast<int>(std::max<std::chrono::milliseconds::rep>(delay.count(), 1)));
}

void CDlgRecStart::KillTimer(std::uint32_t id) {
  if (const auto found = m_timers.find(id); found != m_timers.end()) found->second->Stop();
}

bool CDlgRecStart::IsTimerArmed(std::uint32_t id) const {
  const auto found = m_timers.find(id);
  return found != m_timers.end() && found->second->IsRunning();
}

void CDlgRecStart::OnTimer(wxTimerEvent& event) {
  m_runner.OnTimer(static_cast<std::uint32_t>(event.GetId()));
  CloseIfAsked();
}

void CDlgRecStart::OnWallClockTick() {
  m_runner.OnWallClockTick();
  CloseIfAsked();
}

void CDlgRecStart::OnCancel(wxCommandEvent&) { RequestClose(); }

// Straight to the runner rather than through the Cancel button's command, which the loop of a
// running capture drops with all other input.
void CDlgRecStart::OnClose(wxCloseEvent&) { RequestClose(); }

void CDlgRecStart::RequestClose() {
  // The runner refuses while a recording runs and closes the window once it has returned.
  if (!m_runner.Close()) return;
  m_ticker.Stop();
  Finish(res::IDCANCEL);
}

void CDlgRecStart::CloseIfAsked() {
  if (!m_runner.ShouldClose() || !m_runner.Close()) return;
  m_ticker.Stop();
  Finish(res::IDCANCEL);
}

}  // namespace tovalen
