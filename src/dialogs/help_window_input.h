#pragma once

class wxWindow;

namespace tovalen {

// Help is asked for from inside modal dialogs, and GTK sends a modal dialog's input grab over
// every window of its window group. Giving the help window a group of its own keeps it usable
// while the dialog stays open.
void AcceptInputDuringModalDialogs(wxWindow* topLevelWindow);

}  // namespace tovalen
