#include "dialogs/radio_group.h"

namespace tovalen {

RadioGroup::RadioGroup(wxWindow* parent)
    : m_none(new wxRadioButton(parent, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxRB_GROUP)) {
  m_none->Hide();
}

void RadioGroup::Select(int position) {
  if (position >= 0 && position < static_cast<int>(m_buttons.size())) {
    m_buttons[static_cast<std::size_t>(position)]->SetValue(true);
  } else {
    m_none->SetValue(true);
  }
}

int RadioGroup::Selected() const {
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    if (m_buttons[i]->GetValue()) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tovalen
