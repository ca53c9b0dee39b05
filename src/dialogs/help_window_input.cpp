#include "dialogs/help_window_input.h"

#include <gtk/gtk.h>
#include <wx/window.h>

namespace tovalen {

void AcceptInputDuringModalDialogs(wxWindow* topLevelWindow) {
  auto* widget = static_cast<GtkWidget*>(topLevelWindow->GetHandle());
  if (!widget || !GTK_IS_WINDOW(widget)) return;
  GtkWindowGroup* group = gtk_window_group_new();
  gtk_window_group_add_window(group, GTK_WINDOW(widget));
  g_object_unref(group);  // the window keeps its group alive
}

}  // namespace tovalen
