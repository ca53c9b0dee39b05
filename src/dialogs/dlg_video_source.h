#pragma once

#include <vector>

#include "capture/driver_dialog_models.h"
#include "dialogs/driver_dialog_base.h"

class wxChoice;
class wxSlider;

namespace tovalen {

// The device's input and its picture controls (brightness, contrast...).
class CDlgVideoSource : public DriverDialogBase {
 public:
  CDlgVideoSource(wxWindow* parent, VideoSourceModel& model);

  wxChoice* InputChoice() const { return m_input; }
  // One slider per picture control, in the model's order.
  const std::vector<wxSlider*>& Sliders() const { return m_sliders; }

 private:
  VideoSourceModel& m_model;
  wxChoice* m_input = nullptr;       // owned by the dialog; null without inputs
  std::vector<wxSlider*> m_sliders;  // owned by the dialog
};

}  // namespace tovalen
