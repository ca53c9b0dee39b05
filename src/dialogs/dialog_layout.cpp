#include "dialogs/dialog_layout.h"

#include <wx/listbox.h>
#include <wx/panel.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <vector>

#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

// One of the dialog's controls while the layout is fitted; rectangles in pixels.
struct Placed {
  wxWindow* window;
  wxRect original;
  wxRect rect;
  bool box;
  bool button;
  int parent = -1;  // the innermost group box around it in the template, or -1
};

int Right(const wxRect& rect) { return rect.x + rect.width; }
int Bottom(const wxRect& rect) { return rect.y + rect.height; }

// What a control needs. A list or an edit box scrolls its contents, so only its height counts;
// a panel keeps its template size.
wxSize Needed(const Placed& placed) {
  wxWindow* window = placed.window;
  if (dynamic_cast<wxPanel*>(window) != nullptr) return placed.rect.GetSize();
  // The minimum is the template's size unless a dialog reserved room for a text it shows later.
  wxSize best = window->GetBestSize();
  best.IncTo(window->GetMinSize());
  if (dynamic_cast<wxListBox*>(window) != nullptr || dynamic_cast<wxTextCtrl*>(window) != nullptr) {
    best.x = placed.rect.width;
  }
  return best;
}

class LayoutFit {
 public:
  explicit LayoutFit(wxWindow* dialog) {
    for (wxWindow* child : dialog->GetChildren()) {
      if (!child->IsShown() || child->IsTopLevel()) continue;
      m_placed.push_back({child, child->GetRect(), child->GetRect(), dynamic_cast<wxStaticBox*>(child) != nullptr,
                          dynamic_cast<wxButton*>(child) != nullptr});
    }
    for (std::size_t i = 0; i < m_placed.size(); ++i) m_placed[i].parent = InnermostBox(i);
  }

  void Run() {
    // Each pass only grows or moves forward, so it settles; the bound is a guard.
    for (int pass = 0; pass < 100; ++pass) {
      bool changed = false;
      for (Placed& placed : m_placed) changed |= Grow(placed, Needed(placed));
      for (std::size_t box = 0; box < m_placed.size(); ++box) changed |= Enclose(box);
      for (std::size_t a = 0; a < m_placed.size(); ++a) {
        for (std::size_t b = 0; b < m_placed.size(); ++b) {
          changed |= KeepApart(a, b) || KeepAligned(a, b) || KeepColumnWidth(a, b);
        }
      }
      if (!changed) break;
    }
    for (const Placed& placed : m_placed) {
      if (placed.rect != placed.original) placed.window->SetSize(placed.rect);
    }
  }

  // How far the controls now reach beyond where they reached in the template.
  wxSize Overflow() const {
    wxSize overflow;
    for (const Placed& placed : m_placed) {
      overflow.IncTo(
          wxSize(Right(placed.rect) - Right(placed.original), Bottom(placed.rect) - Bottom(placed.original)));
    }
    return overflow;
  }

 private:
  int InnermostBox(std::size_t index) const {
    int found = -1;
    for (std::size_t box = 0; box < m_placed.size(); ++box) {
      if (box == index || !m_placed[box].box || !m_placed[box].original.Contains(m_placed[index].original)) continue;
      if (found < 0 || m_placed[found].original.Contains(m_placed[box].original)) found = static_cast<int>(box);
    }
    return found;
  }

  bool Inside(std::size_t index, std::size_t box) const {
    for (int parent = m_placed[index].parent; parent >= 0; parent = m_placed[parent].parent) {
      if (static_cast<std::size_t>(parent) == box) return true;
    }
    return false;
  }

  static bool Grow(Placed& placed, const wxSize& needed) {
    const wxSize before = placed.rect.GetSize();
    wxSize size = before;
    size.IncTo(needed);
    placed.rect.SetSize(size);
    return size != before;
  }

  // A group box keeps the template's margins around what it holds.
  bool Enclose(std::size_t box) {
    if (!m_placed[box].box) return false;
    int right = Right(m_placed[box].rect);
    int bottom = Bottom(m_placed[box].rect);
    for (std::size_t i = 0; i < m_placed.size(); ++i) {
      if (m_placed[i].parent != static_cast<int>(box)) continue;
      right = std::max(right, Right(m_placed[i].rect) + Right(m_placed[box].original) - Right(m_placed[i].original));
      bottom =
          std::max(bottom, Bottom(m_placed[i].rect) + Bottom(m_placed[box].original) - Bottom(m_placed[i].original));
    }
    return Grow(m_placed[box], wxSize(right - m_placed[box].rect.x, bottom - m_placed[box].rect.y));
  }

  // What stood right of (or below) a control in the template keeps its gap to it. Only
  // neighbours within the same group box are compared: the boxes themselves keep theirs.
  bool KeepApart(std::size_t a, std::size_t b) {
    if (a == b || m_placed[a].parent != m_placed[b].parent) return false;
    const wxRect& was = m_placed[a].original;
    const wxRect& now = m_placed[a].rect;
    const wxRect& otherWas = m_placed[b].original;
    const wxRect& other = m_placed[b].rect;
    // Dialog units round to pixels one edge at a time: a control that touches its neighbour in
    // the template may overlap it by a pixel.
    constexpr int kRounding = 1;
    if (otherWas.x >= Right(was) - kRounding && other.y < Bottom(now) && now.y < Bottom(other)) {
      return Move(b, Right(now) + std::max(otherWas.x - Right(was), 0) - other.x, 0);
    }
    if (otherWas.y >= Bottom(was) - kRounding && other.x < Right(now) && now.x < Right(other)) {
      return Move(b, 0, Bottom(now) + std::max(otherWas.y - Bottom(was), 0) - other.y);
    }
    return false;
  }

  // Controls that shared a row or a column in the template still do: one that another's growth
  // pushed on takes its row and column along.
  bool KeepAligned(std::size_t a, std::size_t b) {
    if (a == b || m_placed[a].parent != m_placed[b].parent) return false;
    const wxRect& was = m_placed[a].original;
    const wxRect& otherWas = m_placed[b].original;
    const int dx = was.x == otherWas.x ? m_placed[b].rect.x - m_placed[a].rect.x : 0;
    const int dy = was.y == otherWas.y ? m_placed[b].rect.y - m_placed[a].rect.y : 0;
    return Move(a, dx, dy);
  }

  // Buttons stacked in one column of the template keep one width, the widest one's, so that none
  // sticks out of the column.
  bool KeepColumnWidth(std::size_t a, std::size_t b) {
    if (a == b || m_placed[a].parent != m_placed[b].parent || !m_placed[a].button || !m_placed[b].button) return false;
    if (m_placed[a].original.x != m_placed[b].original.x) return false;
    return Grow(m_placed[a], wxSize(m_placed[b].rect.width, m_placed[a].rect.height));
  }

  // Moves a control, and everything inside it when it is a group box, forward only.
  bool Move(std::size_t index, int dx, int dy) {
    dx = std::max(dx, 0);
    dy = std::max(dy, 0);
    if (dx == 0 && dy == 0) return false;
    for (std::size_t i = 0; i < m_placed.size(); ++i) {
      if (i == index || Inside(i, index)) m_placed[i].rect.Offset(dx, dy);
    }
    return true;
  }

  std::vector<Placed> m_placed;
};

}  // namespace

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

void DialogLayout::CloseGapBelow(const std::vector<wxWindow*>& row, const DluRect& rect) const {
  const int bottom = Position(rect).y + Size(rect).y;
  int gap = Size(rect).y;
  for (wxWindow* control : row) gap = std::min(gap, bottom - control->GetRect().GetBottom() - 1);
  if (gap <= 0) return;
  for (wxWindow* child : m_dialog->GetChildren()) {
    if (child->IsTopLevel()) continue;
    const wxRect now = child->GetRect();
    if (now.y >= bottom) {
      child->Move(now.x, now.y - gap);
    } else if (dynamic_cast<wxStaticBox*>(child) != nullptr && now.GetBottom() + 1 > bottom) {
      // A box's template size is also its minimum.
      child->SetMinSize(wxSize(now.width, now.height - gap));
      child->SetSize(child->GetMinSize());
    }
  }
  m_dialog->SetClientSize(m_dialog->GetClientSize() - wxSize(0, gap));
}

void DialogLayout::FitToBestSizes() const {
  LayoutFit fit(m_dialog);
  fit.Run();
  const wxSize overflow = fit.Overflow();
  if (overflow.x > 0 || overflow.y > 0) m_dialog->SetClientSize(m_dialog->GetClientSize() + overflow);
}

}  // namespace tovalen
