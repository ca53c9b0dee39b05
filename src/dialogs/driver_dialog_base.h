#pragma once

#include <optional>
#include <string>

#include "dialogs/dialog_base.h"

class wxFlexGridSizer;

namespace tovalen {

// The capture driver's own settings dialogs: labelled rows above OK and Cancel, laid out by
// sizers since they have no fixed template. Each edits a model of the connected device in place;
// the driver applies the model only when the dialog ends with OK.
class DriverDialogBase : public DialogBase {
 protected:
  DriverDialogBase(wxWindow* parent, const std::string& title);

  // A row with a label and its control.
  void AddRow(const std::string& label, wxWindow* control);
  // A control over both columns.
  void AddWide(wxWindow* control);
  // Adds OK and Cancel and fits the dialog around its rows.
  void FinishLayout();
  // Shows why the model refused a choice; true when there was a refusal.
  bool Refused(const std::optional<std::string>& refusal);

 private:
  wxFlexGridSizer* m_rows;  // owned by the dialog's sizer
};

}  // namespace tovalen
