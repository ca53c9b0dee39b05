#include "dialogs/dlg_set_audio_property.h"

#include "capture/video_cap.h"
#include "dialogs/dialog_layout.h"
#include "dialogs/help_viewer.h"
#include "dialogs/radio_group.h"
#include "platform/trace.h"
#include "res/resource_ids.h"

namespace tovalen {

CDlgSetAudioProperty::CDlgSetAudioProperty(wxWindow* parent)
    : DialogBase(parent, res::IDD_DLG_SET_AUDIO_PROPERTY, "オーディオの設定") {
  CreateControls();
  Bind(wxEVT_INIT_DIALOG, &CDlgSetAudioProperty::OnInitDialog, this);
  Bind(wxEVT_BUTTON, &CDlgSetAudioProperty::OnOK, this, res::IDOK);
  BindPlainCancel();
  BindHelp(res::IDC_BUTTON_HELP_AUDIO, help_page::kAudio);
}

CDlgSetAudioProperty::~CDlgSetAudioProperty() = default;

void CDlgSetAudioProperty::CreateControls() {
  const DialogLayout layout(this);
  layout.SetClientSize(229, 119);
  layout.GroupBox("ステレオ／モノラル", {10, 5, 70, 50});
  layout.GroupBox("量子化ビット数", {10, 60, 70, 50});
  layout.GroupBox("サンプリングレート", {90, 5, 65, 80});

  m_channels = std::make_unique<RadioGroup>(this);
  m_channels->Add(layout.Radio(res::IDC_RADIO_MONO, "モノラル", {20, 21, 39, 10}));
  m_channels->Add(layout.Radio(res::IDC_RADIO_STEREO, "ステレオ", {20, 35, 41, 10}));
  m_precision = std::make_unique<RadioGroup>(this);
  m_precision->Add(layout.Radio(res::IDC_RADIO_8BIT, "8bit", {20, 75, 27, 10}));
  m_precision->Add(layout.Radio(res::IDC_RADIO_16BIT, "16bit", {20, 90, 30, 10}));
  m_samplesPerSec = std::make_unique<RadioGroup>(this);
  m_samplesPerSec->Add(layout.Radio(res::IDC_RADIO_8KHZ, "8kHz", {100, 20, 30, 10}));
  m_samplesPerSec->Add(layout.Radio(res::IDC_RADIO_11KHZ, "11.025kHz", {100, 35, 45, 10}));
  m_samplesPerSec->Add(layout.Radio(res::IDC_RADIO_22KHZ, "22.05kHz", {100, 50, 42, 10}));
  m_samplesPerSec->Add(layout.Radio(res::IDC_RADIO_44KHZ, "44.1kHz", {100, 65, 38, 10}));

  layout.Button(res::IDOK, "OK", {165, 10, 50, 14});
  layout.Button(res::IDCANCEL, "キャンセル", {165, 30, 50, 14});
  layout.Button(res::IDC_BUTTON_HELP_AUDIO, "ヘルプ(&H)...", {165, 95, 40, 15});
  SetDefaultButton(res::IDOK);
  layout.FitToBestSizes();
}

void CDlgSetAudioProperty::SetAudioProperty(const SAudioProperty& property) {
  Trace("D: CDlgSetAudioProperty::SetAudioProperty()\n\t");
  Trace(property.ToString());
  Trace("\n");
  m_audioProperty = property;
}

void CDlgSetAudioProperty::OnInitDialog(wxInitDialogEvent&) {
  m_radioChannels = m_audioProperty.nChannels;
  m_radioPrecision = m_audioProperty.nPrecision;
  m_radioSamplesPerSec = m_audioProperty.nSamplesPerSec;
  m_channels->Select(m_radioChannels);
  m_precision->Select(m_radioPrecision);
  m_samplesPerSec->Select(m_radioSamplesPerSec);
}

void CDlgSetAudioProperty::OnOK(wxCommandEvent&) {
  m_radioChannels = m_channels->Selected();
  m_radioPrecision = m_precision->Selected();
  m_radioSamplesPerSec = m_samplesPerSec->Selected();
  m_audioProperty.nPrecision = m_radioPrecision;
  m_audioProperty.nSamplesPerSec = m_radioSamplesPerSec;
  m_audioProperty.nChannels = m_radioChannels;
  // Closes with OK even when no device could take it: the controller keeps it for later.
  CVideoCap::GetInstance().SetAudioProperty(m_audioProperty);
  Finish(res::IDOK);
}

}  // namespace tovalen
