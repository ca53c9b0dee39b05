#pragma once

#include <wx/radiobut.h>

#include <vector>

namespace tovalen {

// One group of radio buttons whose choice is a position, or -1 for none. GTK always keeps one
// button of a group selected, so the group starts with a hidden button that stands for "none".
// Make the group before its visible buttons, and add those in position order.
class RadioGroup {
 public:
  explicit RadioGroup(wxWindow* parent);

  void Add(wxRadioButton* button) { m_buttons.push_back(button); }

  // Selects the button at the position; a position outside the group selects none.
  void Select(int position);
  // The position of the selected button, or -1.
  int Selected() const;

 private:
  wxRadioButton* m_none;                  // owned by the parent window
  std::vector<wxRadioButton*> m_buttons;  // owned by the parent window
};

}  // namespace tovalen
