#pragma once

#include <cstdint>
#include <memory>

#include "dialogs/dialog_base.h"
#include "schedule/capture_settings.h"

class wxCheckBox;

namespace tovalen {

class RadioGroup;

// Chooses the frame rate and whether the device stays connected between reservations. OK hands
// the choice to the capture controller, which stores and applies it.
class CDlgSetVideoOption : public DialogBase {
 public:
  explicit CDlgSetVideoOption(wxWindow* parent = nullptr);
  ~CDlgSetVideoOption() override;

  // The option the dialog opens with (a copy of the controller's).
  void SetVideoOption(const SVideoOption& option);

  RadioGroup& FpsGroup() { return *m_fps; }

 private:
  void CreateControls();
  void OnInitDialog(wxInitDialogEvent& event);
  void OnOK(wxCommandEvent& event);

  SVideoOption m_option;
  std::int32_t m_radioFps = -1;
  std::int32_t m_nPersistentConnect = 0;
  std::unique_ptr<RadioGroup> m_fps;
  wxCheckBox* m_persistentConnect = nullptr;  // owned by the dialog
};

}  // namespace tovalen
