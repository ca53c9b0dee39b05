#pragma once

#include "dialogs/dialog_base.h"

namespace tovalen {

// The about box: the icon, the program's name and version, and OK.
class CVersionDlg : public DialogBase {
 public:
  explicit CVersionDlg(wxWindow* parent = nullptr);
};

}  // namespace tovalen
