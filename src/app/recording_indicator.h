#pragma once

#include <wx/string.h>

#include <optional>

#include "capture/capture_listener.h"

namespace tovalen {

class CMainFrame;

// Shows in the main window that a capture runs, a test capture or a scheduled recording alike:
// "録画中" with the file and the elapsed time in the title and the status bar's recording pane,
// and the frame count and time in the capture window, which has no picture of its own unless
// preview is on; how often a network stream connected again, once it has. Afterwards the title is the document's again
// and the pane is empty.
class RecordingIndicator : public CaptureListener {
 public:
  explicit RecordingIndicator(CMainFrame& frame) : m_frame(frame) {}

  void OnCaptureStarted(const CaptureProgress& progress) override;
  void OnCaptureProgress(const CaptureProgress& progress) override;
  void OnCaptureEnded() override;

  // The frame's title for the document's title.
  wxString Title(const wxString& documentTitle) const;

 private:
  void Show();

  CMainFrame& m_frame;
  std::optional<CaptureProgress> m_running;
};

}  // namespace tovalen
