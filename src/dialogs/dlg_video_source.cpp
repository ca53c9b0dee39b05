#include "dialogs/dlg_video_source.h"

#include <wx/choice.h>
#include <wx/slider.h>
#include <wx/stattext.h>

#include "dialogs/wx_text.h"

namespace tovalen {

CDlgVideoSource::CDlgVideoSource(wxWindow* parent, VideoSourceModel& model)
    : DriverDialogBase(parent, "ビデオ入力の設定"), m_model(model) {
  if (!m_model.Inputs().empty()) {
    m_input = new wxChoice(this, wxID_ANY);
    for (const std::string& input : m_model.Inputs()) m_input->Append(ToWx(input));
    m_input->SetSelection(m_model.Input());
    AddRow("入力(&I):", m_input);
    m_input->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
      if (Refused(m_model.SetInput(m_input->GetSelection()))) m_input->SetSelection(m_model.Input());
    });
  }
  for (const auto& control : m_model.Controls()) {
    auto* slider =
        new wxSlider(this, wxID_ANY, control.value, control.range.minimum, control.range.maximum, wxDefaultPosition,
                     wxSize(ConvertDialogToPixels(wxSize(120, 0)).x, -1), wxSL_HORIZONTAL | wxSL_VALUE_LABEL);
    slider->SetLineSize(std::max(control.range.step, 1));
    AddRow(control.range.name + ":", slider);
    m_sliders.push_back(slider);
    slider->Bind(wxEVT_SLIDER, [this, slider, name = control.range.name](wxCommandEvent&) {
      if (Refused(m_model.SetControl(name, slider->GetValue()))) {
        for (const auto& current : m_model.Controls()) {
          if (current.range.name == name) slider->SetValue(current.value);
        }
      }
    });
  }
  if (m_model.Inputs().empty() && m_model.Controls().empty()) {
    AddWide(new wxStaticText(this, wxID_ANY, ToWx("このデバイスには設定できる項目がありません。")));
  }
  FinishLayout();
}

}  // namespace tovalen
