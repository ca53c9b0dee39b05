#pragma once

#include "capture/driver_dialog_models.h"
#include "dialogs/driver_dialog_base.h"

class wxChoice;

namespace tovalen {

// The frame size and the pixel format the device delivers.
class CDlgVideoFormat : public DriverDialogBase {
 public:
  CDlgVideoFormat(wxWindow* parent, VideoFormatModel& model);

  wxChoice* PixelFormatChoice() const { return m_pixelFormat; }
  wxChoice* SizeChoice() const { return m_size; }

 private:
  void FillSizes();
  void OnPixelFormat();
  void OnSize();

  VideoFormatModel& m_model;
  wxChoice* m_pixelFormat;        // owned by the dialog; item 0 is automatic
  wxChoice* m_size;               // owned by the dialog
  bool m_hasDefaultSize = false;  // item 0 of m_size is the device's own size
};

}  // namespace tovalen
