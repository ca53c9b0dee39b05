#pragma once

#include "capture/driver_dialog_models.h"
#include "dialogs/driver_dialog_base.h"

class wxCheckBox;

namespace tovalen {

// How the preview draws the picture in the capture window.
class CDlgVideoDisplay : public DriverDialogBase {
 public:
  CDlgVideoDisplay(wxWindow* parent, VideoDisplayModel& model);

  wxCheckBox* ScaleBox() const { return m_scale; }
  wxCheckBox* KeepAspectBox() const { return m_keepAspect; }

 private:
  VideoDisplayModel& m_model;
  wxCheckBox* m_scale;       // owned by the dialog
  wxCheckBox* m_keepAspect;  // owned by the dialog
};

}  // namespace tovalen
