#pragma once

class wxDialog;
class wxStaticText;
class wxWindow;

namespace tovalen {

// Makes the label's underlined letter (Alt+letter) move the focus to the control it names, as
// a prompt in front of a control does. GTK needs to be told which control that is.
void LinkMnemonic(wxStaticText* label, wxWindow* target);

// Makes Alt+letter reach the dialog's underlined letters whichever control has the focus.
void RouteMnemonicsFirst(wxDialog* dialog);

}  // namespace tovalen
