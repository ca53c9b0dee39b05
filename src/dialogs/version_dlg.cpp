#include "dialogs/version_dlg.h"

#include <wx/statbmp.h>

#include "dialogs/app_icon.h"
#include "dialogs/dialog_layout.h"
#include "res/resource_ids.h"

namespace tovalen {

CVersionDlg::CVersionDlg(wxWindow* parent) : DialogBase(parent, res::IDD_ABOUTBOX, "Tovalenのバージョン情報") {
  const DialogLayout layout(this);
  layout.SetClientSize(229, 55);
  const DluRect iconRect{11, 17, 20, 20};
  new wxStaticBitmap(this, wxID_ANY, AppIcon(), layout.Position(iconRect), layout.Size(iconRect));
  layout.Label(wxID_ANY, "Tovalen Version 1.0", {40, 22, 119, 8});
  layout.Button(res::IDOK, "OK", {172, 20, 50, 14});
  SetDefaultButton(res::IDOK);
  layout.FitToBestSizes();
  SetEscapeId(res::IDOK);  // no Cancel button: Escape and the close box press OK
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Finish(res::IDOK); }, res::IDOK);
}

}  // namespace tovalen
