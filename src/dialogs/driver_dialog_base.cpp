#include "dialogs/driver_dialog_base.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "dialogs/label_mnemonic.h"
#include "dialogs/message_box.h"
#include "dialogs/wx_text.h"
#include "res/resource_ids.h"

namespace tovalen {

DriverDialogBase::DriverDialogBase(wxWindow* parent, const std::string& title)
    : DialogBase(parent, wxID_ANY, title), m_rows(new wxFlexGridSizer(2, wxSize(12, 8))) {
  m_rows->AddGrowableCol(1, 1);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Finish(res::IDOK); }, res::IDOK);
  BindPlainCancel();
}

void DriverDialogBase::AddRow(const std::string& label, wxWindow* control) {
  auto* prompt = new wxStaticText(this, wxID_ANY, ToWx(label));
  LinkMnemonic(prompt, control);
  prompt->MoveBeforeInTabOrder(control);  // the control was made first; its prompt leads to it
  m_rows->Add(prompt, 0, wxALIGN_CENTER_VERTICAL);
  m_rows->Add(control, 1, wxEXPAND);
}

void DriverDialogBase::AddWide(wxWindow* control) {
  m_rows->Add(control, 0, wxALIGN_CENTER_VERTICAL);
  m_rows->AddSpacer(0);
}

void DriverDialogBase::FinishLayout() {
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->AddStretchSpacer();
  buttons->Add(new wxButton(this, res::IDOK, ToWx("OK")), 0, wxRIGHT, 8);
  buttons->Add(new wxButton(this, res::IDCANCEL, ToWx("キャンセル")));
  SetDefaultButton(res::IDOK);
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(m_rows, 1, wxEXPAND | wxALL, 12);
  top->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 12);
  SetSizerAndFit(top);
  SetMinClientSize(wxSize(ConvertDialogToPixels(wxSize(200, 0)).x, GetClientSize().y));
  Fit();
}

bool DriverDialogBase::Refused(const std::optional<std::string>& refusal) {
  if (!refusal) return false;
  ShowErrorMessage(this, "この設定はできません: " + *refusal);
  return true;
}

}  // namespace tovalen
