#include "dialogs/label_mnemonic.h"

#include <gtk/gtk.h>
#include <wx/stattext.h>

namespace tovalen {
namespace {

// The window that takes the focus for a control: the control itself, or the first part of a
// control made of several (the time picker's text field).
wxWindow* FocusWindow(wxWindow* control) {
  if (control->GetChildren().empty()) return control;
  for (wxWindow* child : control->GetChildren()) {
    if (child->CanAcceptFocus()) return FocusWindow(child);
  }
  return control;
}

}  // namespace

void LinkMnemonic(wxStaticText* label, wxWindow* target) {
  auto* labelWidget = static_cast<GtkWidget*>(label->GetHandle());
  auto* targetWidget = static_cast<GtkWidget*>(FocusWindow(target)->GetHandle());
  if (GTK_IS_LABEL(labelWidget) && targetWidget != nullptr) {
    gtk_label_set_mnemonic_widget(GTK_LABEL(labelWidget), targetWidget);
  }
}

}  // namespace tovalen
