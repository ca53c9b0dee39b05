#include "dialogs/label_mnemonic.h"

#include <gtk/gtk.h>
#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/stattext.h>

namespace tovalen {
namespace {

// The first widget below this one that takes the focus.
GtkWidget* FirstFocusableChild(GtkWidget* widget) {
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child != nullptr && found == nullptr; child = child->next) {
    auto* childWidget = static_cast<GtkWidget*>(child->data);
    found = gtk_widget_get_can_focus(childWidget) ? childWidget : FirstFocusableChild(childWidget);
  }
  g_list_free(children);
  return found;
}

gboolean FocusFirstPart(GtkWidget* widget, gboolean, gpointer) {
  GtkWidget* part = FirstFocusableChild(widget);
  if (part == nullptr) return FALSE;
  gtk_widget_grab_focus(part);
  return TRUE;
}

}  // namespace

void LinkMnemonic(wxStaticText* label, wxWindow* target) {
  auto* labelWidget = static_cast<GtkWidget*>(label->GetHandle());
  auto* targetWidget = static_cast<GtkWidget*>(target->GetHandle());
  if (!GTK_IS_LABEL(labelWidget) || targetWidget == nullptr) return;
  gtk_label_set_mnemonic_widget(GTK_LABEL(labelWidget), targetWidget);
  // wx links each prompt to the next control's own widget again once the dialog is shown. For
  // a control made of several (the time picker) that is a container the focus cannot rest on,
  // so the container hands the mnemonic on to its first part.
  if (!target->GetChildren().empty()) {
    g_signal_connect(targetWidget, "mnemonic-activate", G_CALLBACK(FocusFirstPart), nullptr);
  }
}

void RouteMnemonicsFirst(wxDialog* dialog) {
  // wx hands a key to the focused control before GTK looks for a mnemonic, and a control that
  // eats every key (the time picker's field) would swallow Alt+letter. The dialog's own key
  // hook runs before any control sees the key.
  dialog->Bind(wxEVT_CHAR_HOOK, [dialog](wxKeyEvent& event) {
    auto* window = static_cast<GtkWidget*>(dialog->GetHandle());
    if (event.GetModifiers() == wxMOD_ALT && GTK_IS_WINDOW(window) &&
        gtk_window_mnemonic_activate(GTK_WINDOW(window), gdk_keyval_to_lower(event.GetRawKeyCode()), GDK_MOD1_MASK)) {
      return;
    }
    event.Skip();
  });
}

}  // namespace tovalen
