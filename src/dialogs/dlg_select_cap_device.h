#pragma once

#include <cstdint>
#include <vector>

#include "capture/s_cap_driver_info.h"
#include "dialogs/dialog_base.h"

class wxListBox;

namespace tovalen {

// Lists the capture devices the controller has just enumerated and reports the position of the
// chosen one; connecting it is the controller's work.
class CDlgSelectCapDevice : public DialogBase {
 public:
  explicit CDlgSelectCapDevice(wxWindow* parent = nullptr);

  // The devices to list, in the controller's order.
  void SetDevices(std::vector<SCapDriverInfo> devices) { m_devices = std::move(devices); }
  // The chosen line after OK; -1 when none was chosen.
  std::int32_t GetSelectedIndex() const { return m_nSelected; }

 private:
  void CreateControls();
  void OnInitDialog(wxInitDialogEvent& event);
  void OnOK(wxCommandEvent& event);

  std::vector<SCapDriverInfo> m_devices;
  std::int32_t m_nSelected = -1;
  wxListBox* m_list = nullptr;  // owned by the dialog
};

}  // namespace tovalen
