#pragma once

#include <wx/panel.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "capture/preview_surface.h"

namespace tovalen {

// The capture window on screen: a child panel of the view that paints the newest frame the
// driver handed over, at its top-left corner.
class CapturePanel : public wxPanel {
 public:
  // What the driver's threads and the panel share. The panel is reached only under the mutex,
  // and only while it exists.
  struct Link {
    std::mutex mutex;
    CapturePanel* panel = nullptr;  // not owned; null once the panel is gone
    std::shared_ptr<const PreviewImage> latest;
    bool repaintQueued = false;
  };

  CapturePanel(wxWindow* parent, const SCaptureWindowPlacement& placement, std::shared_ptr<Link> link);
  ~CapturePanel() override;

  // Frames painted since the panel was made.
  std::uint64_t FramesPainted() const { return m_painted; }
  // A text drawn over the picture, or in the middle while there is none; empty for none.
  void SetCaption(const wxString& caption);
  const wxString& Caption() const { return m_caption; }

 private:
  void OnPaint(wxPaintEvent& event);
  void PaintCaption(wxDC& dc, bool overPicture) const;

  std::shared_ptr<Link> m_link;
  std::shared_ptr<const PreviewImage> m_lastPainted;
  std::uint64_t m_painted = 0;
  wxString m_caption;
};

// Makes the capture windows of the FFmpeg driver as CapturePanels under the window that the
// parent handle names (a wxWindow*). Without a parent the capture window shows nothing.
class WxCaptureWindowHost : public CaptureWindowHost {
 public:
  std::unique_ptr<PreviewSurface> CreateSurface(const SCaptureWindowPlacement& placement,
                                                ParentWindowHandle parent) override;
};

}  // namespace tovalen
