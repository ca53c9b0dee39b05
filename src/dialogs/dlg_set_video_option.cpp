#include "dialogs/dlg_set_video_option.h"

#include <wx/checkbox.h>

#include "capture/video_cap.h"
#include "dialogs/dialog_layout.h"
#include "dialogs/help_viewer.h"
#include "dialogs/radio_group.h"
#include "dialogs/wx_text.h"
#include "res/resource_ids.h"

namespace tovalen {

CDlgSetVideoOption::CDlgSetVideoOption(wxWindow* parent)
    : DialogBase(parent, res::IDD_DLG_SET_VIDEO_OPTION, "その他のビデオの設定") {
  CreateControls();
  Bind(wxEVT_INIT_DIALOG, &CDlgSetVideoOption::OnInitDialog, this);
  Bind(wxEVT_BUTTON, &CDlgSetVideoOption::OnOK, this, res::IDOK);
  BindPlainCancel();
  BindHelp(res::IDC_BUTTON_HELP_VIDEO_OPTION, help_page::kVideoOption);
}

CDlgSetVideoOption::~CDlgSetVideoOption() = default;

void CDlgSetVideoOption::CreateControls() {
  const DialogLayout layout(this);
  layout.SetClientSize(219, 166);
  layout.GroupBox("フレームレートの選択", {10, 5, 95, 130});
  layout.GroupBox("NTSC用の設定値", {20, 20, 75, 50});
  layout.GroupBox("PAL用の設定値", {20, 75, 75, 50});

  // One group over both boxes: any frame rate deselects the other three.
  m_fps = std::make_unique<RadioGroup>(this);
  m_fps->Add(layout.Radio(res::IDC_RADIO_15FPS, "15 fps (&1)", {30, 35, 48, 10}));
  m_fps->Add(layout.Radio(res::IDC_RADIO_30FPS, "30 fps (&2)", {30, 50, 48, 10}));
  m_fps->Add(layout.Radio(res::IDC_RADIO_12_5FPS, "12.5 fps (&3)", {30, 95, 53, 10}));
  m_fps->Add(layout.Radio(res::IDC_RADIO_25FPS, "25 fps (&4)", {30, 110, 48, 10}));

  const DluRect checkRect{7, 145, 199, 10};
  m_persistentConnect = new wxCheckBox(this, res::IDC_CHECK_PERSISTENT_CONNECT,
                                       ToWx("予約待機中は常にキャプチャデバイスに接続しつづける(&C)"),
                                       layout.Position(checkRect), layout.Size(checkRect));

  layout.Button(res::IDOK, "OK", {155, 10, 50, 15});
  layout.Button(res::IDCANCEL, "ｷｬﾝｾﾙ", {155, 30, 50, 15});
  layout.Button(res::IDC_BUTTON_HELP_VIDEO_OPTION, "ヘルプ(&H)...", {155, 80, 40, 15});
  SetDefaultButton(res::IDOK);
  layout.FitToBestSizes();
}

void CDlgSetVideoOption::SetVideoOption(const SVideoOption& option) {
  m_option.FPS = option.FPS;
  m_option.PersistentConnect = option.PersistentConnect;
}

void CDlgSetVideoOption::OnInitDialog(wxInitDialogEvent&) {
  m_nPersistentConnect = m_option.PersistentConnect ? 1 : 0;
  m_radioFps = m_option.FPS;
  m_persistentConnect->SetValue(m_nPersistentConnect == 1);
  m_fps->Select(m_radioFps);
}

void CDlgSetVideoOption::OnOK(wxCommandEvent&) {
  m_nPersistentConnect = m_persistentConnect->GetValue() ? 1 : 0;
  m_radioFps = m_fps->Selected();
  SVideoOption option;
  option.PersistentConnect = m_nPersistentConnect == 1;
  option.FPS = m_radioFps;
  CVideoCap::GetInstance().SetVideoOption(option);
  Finish(res::IDOK);
}

}  // namespace tovalen
