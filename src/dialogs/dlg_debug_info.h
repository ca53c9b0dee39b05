#pragma once

#include <string>

#include "dialogs/dialog_base.h"

class wxPanel;

namespace tovalen {

// Shows the capture controller's status report as it was when the window opened.
class CDlgDebugInfo : public DialogBase {
 public:
  explicit CDlgDebugInfo(wxWindow* parent = nullptr);

  const std::string& GetInfo() const { return m_strInfo; }

 private:
  void OnInitDialog(wxInitDialogEvent& event);

  std::string m_strInfo;
  wxPanel* m_info = nullptr;  // owned by the dialog
};

}  // namespace tovalen
