#pragma once

#include <wx/dialog.h>

#include <string>

namespace tovalen {

// What the program's dialogs share: ids 1 and 2 as OK and Cancel (Escape and the close box
// press button 2), a help button, and an end that works with or without a modal loop.
class DialogBase : public wxDialog {
 protected:
  static constexpr long kStyle = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;

  DialogBase(wxWindow* parent, int templateId, const std::string& title, long style = kStyle);

  // Closes with the code that ShowModal returns; a dialog shown without a modal loop is hidden.
  void Finish(int code);
  // Button 2 closes with Cancel and nothing else.
  void BindPlainCancel();
  // The button shows a page of the help book; the dialog stays open.
  void BindHelp(int buttonId, const char* page);
  // Makes the button the default one (Enter presses it).
  void SetDefaultButton(int buttonId);
};

}  // namespace tovalen
