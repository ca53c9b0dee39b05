#pragma once

#include <wx/statusbr.h>
#include <wx/timer.h>

#include <string>

namespace tovalen {

// The main window's status bar: the message pane, a pane saying what is being recorded (empty
// when nothing is), then the kana, caps, num and scroll lock indicators, each
// showing its text while its lock is on.
class MainStatusBar : public wxStatusBar {
 public:
  static constexpr int kPaneCount = 6;
  static constexpr int kRecordingPane = 1;

  explicit MainStatusBar(wxWindow* frame);

  // Reads the key locks now and shows them.
  void UpdateIndicators();
  // What the recording pane says; empty when nothing is recorded.
  void ShowRecording(const std::string& text);

 private:
  wxTimer m_poll;
};

}  // namespace tovalen
