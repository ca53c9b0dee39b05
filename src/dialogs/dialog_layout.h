#pragma once

#include <wx/button.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include <string>
#include <vector>

namespace tovalen {

// A position and size in dialog units, as the dialog templates give them.
struct DluRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// Makes a dialog's controls at their template positions. Dialog units follow the dialog's font,
// so the layout scales with the desktop's font. Controls are made in the order of the calls,
// which is also their tab order.
class DialogLayout {
 public:
  explicit DialogLayout(wxWindow* dialog) : m_dialog(dialog) {}

  wxPoint Position(const DluRect& rect) const;
  wxSize Size(const DluRect& rect) const;
  // The dialog's client area in dialog units.
  void SetClientSize(int w, int h) const;

  wxStaticBox* GroupBox(const std::string& caption, const DluRect& rect) const;
  wxStaticText* Label(int id, const std::string& caption, const DluRect& rect, long style = 0) const;
  wxButton* Button(int id, const std::string& caption, const DluRect& rect) const;
  wxRadioButton* Radio(int id, const std::string& caption, const DluRect& rect) const;

  // Places a control made elsewhere.
  void Place(wxWindow* control, const DluRect& rect) const;
  // Places it, grown to its best size where the template's size is too small for this desktop's
  // widgets; for controls with free room to their right and below.
  void PlaceAtLeastBest(wxWindow* control, const DluRect& rect) const;

  // For controls side by side in the template's row `rect` that draw shorter than it (a month
  // calendar at its own height): what lay below the row moves up by the room they left, and the
  // group boxes around them and the dialog shrink by as much. Run before FitToBestSizes.
  void CloseGapBelow(const std::vector<wxWindow*>& row, const DluRect& rect) const;

  // Run once all controls are made. The template's sizes assume the font it was drawn with: grows
  // every control to its best size, moves what lies right of or below a grown control so the
  // template's gaps stay, widens the group boxes around them and then the dialog.
  void FitToBestSizes() const;

 private:
  wxWindow* m_dialog;  // not owned
};

}  // namespace tovalen
