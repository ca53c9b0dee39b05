#include "app/main_status_bar.h"

#include <wx/utils.h>

#include <array>

#include "app/command_ids.h"
#include "app/command_texts.h"
#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

struct Indicator {
  const char* text;
  wxKeyCode key;  // WXK_NONE: this desktop has no such lock
};

constexpr std::array<Indicator, MainStatusBar::kPaneCount> kPanes = {{
    {"", WXK_NONE},
    {"", WXK_NONE},  // the recording pane
    {"カナ", WXK_NONE},
    {"CAP", WXK_CAPITAL},
    {"NUM", WXK_NUMLOCK},
    {"SCRL", WXK_SCROLL},
}};

// Lock keys change outside the program's windows too, so they are looked at now and then.
constexpr int kPollMs = 500;
constexpr int kPaneMargin = 12;

// The recording pane keeps one width, so the bar never jumps; a longer name is cut short.
constexpr const char* kRecordingPaneSample = "録画中 capture.avi  0:00:00";

}  // namespace

MainStatusBar::MainStatusBar(wxWindow* frame) : wxStatusBar(frame, cmd::ID_VIEW_STATUS_BAR), m_poll(this) {
  std::array<int, kPaneCount> widths{};
  widths[0] = -1;
  widths[kRecordingPane] = GetTextExtent(ToWx(kRecordingPaneSample)).GetWidth() + kPaneMargin;
  for (int pane = kRecordingPane + 1; pane < kPaneCount; ++pane) {
    widths[pane] = GetTextExtent(ToWx(kPanes[static_cast<std::size_t>(pane)].text)).GetWidth() + kPaneMargin;
  }
  SetFieldsCount(kPaneCount, widths.data());
  SetStatusText(ToWx(kIdleStatusText), 0);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { UpdateIndicators(); });
  UpdateIndicators();
  m_poll.Start(kPollMs);
}

void MainStatusBar::UpdateIndicators() {
  for (int pane = kRecordingPane + 1; pane < kPaneCount; ++pane) {
    const Indicator& indicator = kPanes[static_cast<std::size_t>(pane)];
    const bool on = indicator.key != WXK_NONE && wxGetKeyState(indicator.key);
    const wxString text = on ? ToWx(indicator.text) : wxString();
    if (GetStatusText(pane) != text) SetStatusText(text, pane);
  }
}

void MainStatusBar::ShowRecording(const std::string& text) {
  const wxString shown = ToWx(text);
  if (GetStatusText(kRecordingPane) != shown) SetStatusText(shown, kRecordingPane);
}

}  // namespace tovalen
