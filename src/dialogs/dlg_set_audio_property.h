#pragma once

#include <cstdint>
#include <memory>

#include "dialogs/dialog_base.h"
#include "schedule/capture_settings.h"

namespace tovalen {

class RadioGroup;

// Chooses the channel count, sample size and sampling rate. OK hands the choice to the capture
// controller, which stores it and applies it to a connected device.
class CDlgSetAudioProperty : public DialogBase {
 public:
  explicit CDlgSetAudioProperty(wxWindow* parent = nullptr);
  ~CDlgSetAudioProperty() override;

  // The property the dialog opens with (a copy of the controller's).
  void SetAudioProperty(const SAudioProperty& property);

  // The sampling rate's radio group, for tests.
  RadioGroup& SamplesPerSecGroup() { return *m_samplesPerSec; }

 private:
  void CreateControls();
  void OnInitDialog(wxInitDialogEvent& event);
  void OnOK(wxCommandEvent& event);

  SAudioProperty m_audioProperty;
  std::int32_t m_radioChannels = -1;
  std::int32_t m_radioPrecision = -1;
  std::int32_t m_radioSamplesPerSec = -1;
  std::unique_ptr<RadioGroup> m_channels;
  std::unique_ptr<RadioGroup> m_precision;
  std::unique_ptr<RadioGroup> m_samplesPerSec;
};

}  // namespace tovalen
