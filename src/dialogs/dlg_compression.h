#pragma once

#include "capture/driver_dialog_models.h"
#include "dialogs/driver_dialog_base.h"

class wxChoice;
class wxSlider;

namespace tovalen {

// The codec the capture is recorded with and its quality.
class CDlgCompression : public DriverDialogBase {
 public:
  CDlgCompression(wxWindow* parent, CompressionModel& model);

  wxChoice* CodecChoice() const { return m_codec; }
  wxSlider* QualitySlider() const { return m_quality; }

 private:
  void ShowCodec();

  CompressionModel& m_model;
  wxChoice* m_codec;    // owned by the dialog; items in the order of Available()
  wxSlider* m_quality;  // owned by the dialog
};

// What the compression dialog calls a codec.
std::string CodecDescription(VideoCodec codec);

}  // namespace tovalen
