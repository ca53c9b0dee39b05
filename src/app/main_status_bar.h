#pragma once

#include <wx/statusbr.h>
#include <wx/timer.h>

namespace tovalen {

// The main window's status bar: the message pane, then the kana, caps, num and scroll lock
// indicators, each showing its text while its lock is on.
class MainStatusBar : public wxStatusBar {
 public:
  static constexpr int kPaneCount = 5;

  explicit MainStatusBar(wxWindow* frame);

  // Reads the key locks now and shows them.
  void UpdateIndicators();

 private:
  wxTimer m_poll;
};

}  // namespace tovalen
