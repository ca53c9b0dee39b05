#include "dialogs/dialog_layout.h"

#include "dialogs/wx_text.h"

namespace tovalen {

wxPoint DialogLayout::Position(const DluRect& rect) const {
  return m_dialog->ConvertDialogToPixels(wxPoint(rect.x, rect.y));
}

wxSize DialogLayout::Size(const DluRect& rect) const { return m_dialog->ConvertDialogToPixels(wxSize(rect.w, rect.h)); }

void DialogLayout::SetClientSize(int w, int h) const {
  m_dialog->SetClientSize(m_dialog->ConvertDialogToPixels(wxSize(w, h)));
}

wxStaticBox* DialogLayout::GroupBox(const std::string& caption, const DluRect& rect) const {
  return new wxStaticBox(m_dialog, wxID_ANY, ToWx(caption), Position(rect), Size(rect));
}

wxStaticText* DialogLayout::Label(int id, const std::string& caption, const DluRect& rect, long style) const {
  // A fixed size: the texts change while the dialog is open and must not move the layout.
  return new wxStaticText(m_dialog, id, ToWx(caption), Position(rect), Size(rect), style | wxST_NO_AUTORESIZE);
}

wxButton* DialogLayout::Button(int id, const std::string& caption, const DluRect& rect) const {
  return new wxButton(m_dialog, id, ToWx(caption), Position(rect), Size(rect));
}

wxRadioButton* DialogLayout::Radio(int id, const std::string& caption, const DluRect& rect) const {
  // A radio button's caption needs more room in GTK's theme than the template gives it; the
  // templates leave free space to the right of every one.
  auto* radio = new wxRadioButton(m_dialog, id, ToWx(caption));
  PlaceAtLeastBest(radio, rect);
  return radio;
}

void DialogLayout::Place(wxWindow* control, const DluRect& rect) const {
  control->SetSize(wxRect(Position(rect), Size(rect)));
}

void DialogLayout::PlaceAtLeastBest(wxWindow* control, const DluRect& rect) const {
  wxSize size = Size(rect);
  size.IncTo(control->GetBestSize());
  control->SetSize(wxRect(Position(rect), size));
}

}  // namespace tovalen
