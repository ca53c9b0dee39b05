#include "dialogs/dlg_rec_list.h"

#include <wx/listbox.h>

#include "dialogs/dialog_layout.h"
#include "dialogs/dlg_new_rec.h"
#include "dialogs/help_viewer.h"
#include "dialogs/message_box.h"
#include "dialogs/wx_text.h"
#include "platform/trace.h"
#include "res/resource_ids.h"
#include "schedule/yoyaku_repeat.h"
#include "schedule/yoyaku_schedule.h"

namespace tovalen {

CDlgRecList::CDlgRecList(wxWindow* parent)
    : DialogBase(parent, res::IDD_DLG_REC_LIST, "録画予約一覧", wxCAPTION | wxSYSTEM_MENU),
      m_editor([this](wxWindow* owner, const SYoyaku* initial) {
        return RunReservationEditor(owner, initial, m_schedulePath, m_target);
      }) {
  CreateControls();
  Bind(wxEVT_INIT_DIALOG, &CDlgRecList::OnInitDialog, this);
  Bind(wxEVT_BUTTON, &CDlgRecList::OnButtonRecAdd, this, res::IDC_BUTTON_REC_ADD);
  Bind(wxEVT_BUTTON, &CDlgRecList::OnButtonRecEdit, this, res::IDC_BUTTON_REC_EDIT);
  Bind(wxEVT_BUTTON, &CDlgRecList::OnButtonRecDelete, this, res::IDC_BUTTON_REC_DELETE);
  Bind(wxEVT_BUTTON, &CDlgRecList::OnButtonRecDeletePast, this, res::IDC_BUTTON_REC_DELETE_PAST);
  Bind(wxEVT_BUTTON, &CDlgRecList::OnOK, this, res::IDOK);
  BindPlainCancel();
  BindHelp(res::IDC_BUTTON_HELP_REC_LIST, help_page::kRecList);
}

void CDlgRecList::CreateControls() {
  const DialogLayout layout(this);
  layout.SetClientSize(409, 241);
  layout.GroupBox("録画予約一覧", {10, 5, 385, 180});
  const DluRect listRect{20, 20, 365, 140};
  // Lines stay in the order they are appended: line i is element i of the working list.
  m_list = new wxListBox(this, res::IDC_LIST_YOYAKU, layout.Position(listRect), layout.Size(listRect), 0, nullptr,
                         wxLB_SINGLE | wxLB_ALWAYS_SB | wxLB_HSCROLL);
  // GTK's list draws no horizontal scroll bar: a line cut at the right shows whole as the tip of
  // the pointer's row.
  m_list->Bind(wxEVT_MOTION, [this](wxMouseEvent& event) {
    ShowWholeLine(m_list->HitTest(event.GetPosition()));
    event.Skip();
  });
  layout.Button(res::IDC_BUTTON_REC_ADD, "追加(&A)...", {20, 160, 50, 14});
  layout.Button(res::IDC_BUTTON_REC_EDIT, "編集(&E)...", {75, 160, 50, 14});
  layout.Button(res::IDC_BUTTON_REC_DELETE, "削除(&D)", {130, 160, 50, 14});
  layout.Button(res::IDC_BUTTON_REC_DELETE_PAST, "開始時刻が過去の録画予約を削除(&K)", {185, 160, 135, 14});
  layout.Button(res::IDOK, "OK", {345, 195, 50, 14});
  layout.Button(res::IDCANCEL, "キャンセル", {345, 215, 50, 14});
  layout.Button(res::IDC_BUTTON_HELP_REC_LIST, "ヘルプ(&H)...", {285, 215, 40, 15});
  SetDefaultButton(res::IDOK);
  layout.FitToBestSizes();
}

void CDlgRecList::OnInitDialog(wxInitDialogEvent&) {
  if (m_pDoc != nullptr) m_vecYoyaku = CYoyakuWorkingList(*m_pDoc);
  RefreshYoyakuList();
  // GTK selects the first line of a list that takes the focus, and Add would then copy it.
  FindWindow(res::IDC_BUTTON_REC_ADD)->SetFocus();
}

void CDlgRecList::RefreshYoyakuList() {
  m_list->Clear();
  for (const SYoyaku& yoyaku : m_vecYoyaku.Items()) m_list->Append(ToWx(yoyaku.GetListText()));
  m_list->SetSelection(wxNOT_FOUND);
}

void CDlgRecList::ShowWholeLine(int line) {
  wxString tip;
  if (line != wxNOT_FOUND) {
    const wxString text = m_list->GetString(static_cast<unsigned>(line));
    if (m_list->GetTextExtent(text).x > m_list->GetClientSize().x) tip = text;
  }
  if (tip != m_list->GetToolTipText()) m_list->SetToolTip(tip);
}

std::optional<std::size_t> CDlgRecList::SelectedLine() const {
  const int line = m_list->GetSelection();
  if (line == wxNOT_FOUND) return std::nullopt;
  return static_cast<std::size_t>(line);
}

void CDlgRecList::OnButtonRecAdd(wxCommandEvent&) {
  // A selected reservation only pre-fills the editor; it stays as it is.
  const auto line = SelectedLine();
  const auto edited = m_editor(this, line ? &m_vecYoyaku.Items().at(*line) : nullptr);
  if (!edited) return;
  if (edited->repeated) {
    InsertRepeat(edited->occurrences, std::nullopt);
    return;
  }
  if (!m_vecYoyaku.InsertYoyaku(edited->occurrences.front())) {
    RefuseOverlap();
    return;
  }
  RefreshYoyakuList();
}

void CDlgRecList::OnButtonRecEdit(wxCommandEvent&) {
  const auto line = SelectedLine();
  if (!line) return;
  const auto edited = m_editor(this, &m_vecYoyaku.Items().at(*line));
  if (!edited) return;
  if (edited->repeated) {
    InsertRepeat(edited->occurrences, *line);
    return;
  }
  if (!m_vecYoyaku.ReplaceYoyaku(edited->occurrences.front(), *line)) {
    RefuseOverlap();
    return;
  }
  RefreshYoyakuList();
}

void CDlgRecList::OnButtonRecDelete(wxCommandEvent&) {
  const auto line = SelectedLine();
  if (!line) return;
  if (!m_vecYoyaku.DeleteYoyaku(*line)) {
    Trace("E: CDlgRecList::OnButtonRecDelete() out of range\n");
    return;
  }
  RefreshYoyakuList();
}

void CDlgRecList::OnButtonRecDeletePast(wxCommandEvent&) {
  m_vecYoyaku.DeletePastYoyaku();
  RefreshYoyakuList();
}

void CDlgRecList::OnOK(wxCommandEvent&) {
  if (m_pDoc != nullptr) m_vecYoyaku.WriteBack(*m_pDoc);
  Finish(res::IDOK);
}

void CDlgRecList::RefuseOverlap() { ShowErrorMessage(this, kOverlapMessage); }

void CDlgRecList::InsertRepeat(const std::vector<SYoyaku>& occurrences, std::optional<std::size_t> replaced) {
  if (const auto clash = m_vecYoyaku.InsertAll(occurrences, replaced)) {
    ShowErrorMessage(this, RepeatOverlapMessage(clash->added, clash->other));
    return;
  }
  RefreshYoyakuList();
}

std::optional<EditedReservations> RunReservationEditor(wxWindow*, const SYoyaku* initial,
                                                       const std::string& schedulePath,
                                                       const EditorTargetCheck& target) {
  CDlgNewRec editor;
  if (initial != nullptr) editor.SetYoyaku(*initial);
  editor.SetSchedulePath(schedulePath);
  editor.SetTargetCheck(target.check, target.deviceIndex);
  if (editor.ShowModal() != res::IDOK) return std::nullopt;
  if (!editor.GetOccurrences().empty()) return EditedReservations(editor.GetOccurrences());
  return EditedReservations(editor.GetYoyaku());
}

}  // namespace tovalen
