#include "dialogs/dlg_select_cap_device.h"

#include <wx/listbox.h>

#include "dialogs/dialog_layout.h"
#include "dialogs/help_viewer.h"
#include "dialogs/wx_text.h"
#include "platform/trace.h"
#include "res/resource_ids.h"

namespace tovalen {

CDlgSelectCapDevice::CDlgSelectCapDevice(wxWindow* parent)
    : DialogBase(parent, res::IDD_DLG_SELECT_CAP_DEVICE, "キャプチャデバイスの選択") {
  CreateControls();
  Bind(wxEVT_INIT_DIALOG, &CDlgSelectCapDevice::OnInitDialog, this);
  Bind(wxEVT_BUTTON, &CDlgSelectCapDevice::OnOK, this, res::IDOK);
  BindPlainCancel();
  BindHelp(res::IDC_BUTTON_HELP_SELECT_CAP_DEVICE, help_page::kSelectCapDevice);
}

void CDlgSelectCapDevice::CreateControls() {
  const DialogLayout layout(this);
  layout.SetClientSize(254, 169);
  layout.GroupBox("使用するキャプチャデバイスを選択してください", {10, 5, 235, 110});
  const DluRect listRect{20, 20, 215, 80};
  m_list = new wxListBox(this, res::IDC_LIST_CAP_DEVICE, layout.Position(listRect), layout.Size(listRect), 0, nullptr,
                         wxLB_SINGLE | wxLB_ALWAYS_SB | wxLB_HSCROLL);
  layout.Button(res::IDOK, "OK", {195, 125, 50, 14});
  layout.Button(res::IDCANCEL, "キャンセル", {195, 145, 50, 14});
  layout.Button(res::IDC_BUTTON_HELP_SELECT_CAP_DEVICE, "ヘルプ(&H)...", {135, 145, 40, 15});
  SetDefaultButton(res::IDOK);
  layout.FitToBestSizes();
}

void CDlgSelectCapDevice::OnInitDialog(wxInitDialogEvent&) {
  m_nSelected = -1;
  m_list->Clear();
  for (const SCapDriverInfo& device : m_devices) {
    const std::string line = device.strName + "    " + device.strVersion;
    m_list->Append(ToWx(line));
    Trace("D: ");
    Trace(line);
    Trace("\n");
  }
  // Whichever device was in use before, the user chooses anew.
  m_list->SetSelection(wxNOT_FOUND);
  // GTK selects the first line of a list that takes the focus; no device is chosen unasked.
  FindWindow(res::IDOK)->SetFocus();
}

void CDlgSelectCapDevice::OnOK(wxCommandEvent&) {
  const int line = m_list->GetSelection();
  m_nSelected = line == wxNOT_FOUND ? -1 : line;
  Finish(res::IDOK);
}

}  // namespace tovalen
