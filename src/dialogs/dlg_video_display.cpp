#include "dialogs/dlg_video_display.h"

#include <wx/checkbox.h>

#include "dialogs/wx_text.h"

namespace tovalen {

CDlgVideoDisplay::CDlgVideoDisplay(wxWindow* parent, VideoDisplayModel& model)
    : DriverDialogBase(parent, "ビデオ出力の設定"),
      m_model(model),
      m_scale(new wxCheckBox(this, wxID_ANY, ToWx("ウィンドウの大きさに合わせて表示する(&S)"))),
      m_keepAspect(new wxCheckBox(this, wxID_ANY, ToWx("縦横比を保つ(&K)"))) {
  m_scale->SetValue(m_model.Options().scaleToWindow);
  m_keepAspect->SetValue(m_model.Options().keepAspect);
  m_keepAspect->Enable(m_model.Options().scaleToWindow);  // only a scaled picture can lose its aspect
  AddWide(m_scale);
  AddWide(m_keepAspect);
  FinishLayout();
  m_scale->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
    m_model.SetScaleToWindow(m_scale->GetValue());
    m_keepAspect->Enable(m_scale->GetValue());
  });
  m_keepAspect->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { m_model.SetKeepAspect(m_keepAspect->GetValue()); });
}

}  // namespace tovalen
