#include "dialogs/dialog_base.h"

#include <wx/app.h>
#include <wx/button.h>

#include "dialogs/help_viewer.h"
#include "dialogs/label_mnemonic.h"
#include "dialogs/wx_text.h"
#include "res/resource_ids.h"

namespace tovalen {

DialogBase::DialogBase(wxWindow* parent, int templateId, const std::string& title, long style)
    : wxDialog(parent, templateId, ToWx(title), wxDefaultPosition, wxDefaultSize, style) {
  SetEscapeId(res::IDCANCEL);
  SetAffirmativeId(res::IDOK);
  RouteMnemonicsFirst(this);
}

void DialogBase::Finish(int code) {
  SetReturnCode(code);
  if (IsModal()) {
    EndModal(code);
  } else {
    Hide();
  }
}

void DialogBase::BindPlainCancel() {
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Finish(res::IDCANCEL); }, res::IDCANCEL);
}

void DialogBase::BindHelp(int buttonId, const char* page) {
  // Help is owned by the main window, not by this dialog, as every help request is.
  Bind(
      wxEVT_BUTTON, [page](wxCommandEvent&) { ShowHelp(wxTheApp->GetTopWindow(), page); }, buttonId);
}

void DialogBase::SetDefaultButton(int buttonId) {
  if (auto* button = dynamic_cast<wxButton*>(FindWindow(buttonId))) button->SetDefault();
}

}  // namespace tovalen
