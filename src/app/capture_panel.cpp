#include "app/capture_panel.h"

#include <glib.h>
#include <wx/dcbuffer.h>
#include <wx/image.h>

#include <algorithm>
#include <cstdlib>

#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

// Runs on the user-interface thread. GLib sources are dispatched even while a capture keeps
// the loop to user-interface events only, so the picture keeps moving during a capture.
gboolean RepaintOnce(gpointer data) {
  std::unique_ptr<std::shared_ptr<CapturePanel::Link>> link(static_cast<std::shared_ptr<CapturePanel::Link>*>(data));
  CapturePanel* panel = nullptr;
  {
    const std::lock_guard lock((*link)->mutex);
    (*link)->repaintQueued = false;
    panel = (*link)->panel;
  }
  // Only this thread destroys panels, so the pointer stays valid here.
  if (panel) {
    panel->Refresh(false);
    panel->Update();
  }
  return G_SOURCE_REMOVE;
}

class PanelSurface : public PreviewSurface {
 public:
  explicit PanelSurface(std::shared_ptr<CapturePanel::Link> link) : m_link(std::move(link)) {}

  ~PanelSurface() override {
    CapturePanel* panel = nullptr;
    {
      const std::lock_guard lock(m_link->mutex);
      panel = m_link->panel;
    }
    if (panel) panel->Destroy();
  }

  void ShowFrame(std::shared_ptr<const PreviewImage> image) override {
    const std::lock_guard lock(m_link->mutex);
    m_link->latest = std::move(image);
    if (!m_link->panel || m_link->repaintQueued) return;
    m_link->repaintQueued = true;
    g_idle_add(RepaintOnce, new std::shared_ptr<CapturePanel::Link>(m_link));
  }

  void Resize(int width, int height) override {
    CapturePanel* panel = nullptr;
    {
      const std::lock_guard lock(m_link->mutex);
      panel = m_link->panel;
    }
    if (panel) panel->SetSize(width, height);
  }

 private:
  std::shared_ptr<CapturePanel::Link> m_link;
};

// A capture window with nowhere to show its picture.
class HiddenSurface : public PreviewSurface {
 public:
  void ShowFrame(std::shared_ptr<const PreviewImage>) override {}
  void Resize(int, int) override {}
};

}  // namespace

CapturePanel::CapturePanel(wxWindow* parent, const SCaptureWindowPlacement& placement, std::shared_ptr<Link> link)
    : wxPanel(parent, placement.childId == 0 ? wxID_ANY : placement.childId, wxPoint(placement.x, placement.y),
              wxSize(placement.width, placement.height), wxBORDER_NONE, ToWx(placement.title)),
      m_link(std::move(link)) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CapturePanel::OnPaint, this);
  {
    const std::lock_guard lock(m_link->mutex);
    m_link->panel = this;
  }
  Show(placement.visible);
}

CapturePanel::~CapturePanel() {
  const std::lock_guard lock(m_link->mutex);
  m_link->panel = nullptr;
}

void CapturePanel::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(*wxBLACK_BRUSH);
  dc.Clear();
  std::shared_ptr<const PreviewImage> image;
  {
    const std::lock_guard lock(m_link->mutex);
    image = m_link->latest;
  }
  const bool picture =
      image && image->width > 0 && image->height > 0 &&
      image->rgb.size() >= static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) * 3;
  // wxImage takes the buffer and frees it with free().
  auto* copy = picture ? static_cast<unsigned char*>(malloc(image->rgb.size())) : nullptr;
  if (copy) {
    std::copy(image->rgb.begin(), image->rgb.end(), copy);
    dc.DrawBitmap(wxBitmap(wxImage(image->width, image->height, copy)), 0, 0);
    if (image != m_lastPainted) {
      m_lastPainted = image;
      ++m_painted;
    }
  }
  if (!m_caption.empty()) PaintCaption(dc, copy != nullptr);
}

void CapturePanel::SetCaption(const wxString& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  // Also while a capture holds the loop.
  Refresh(false);
  Update();
}

void CapturePanel::PaintCaption(wxDC& dc, bool overPicture) const {
  dc.SetFont(GetFont().Scaled(overPicture ? 1.0f : 1.5f));
  dc.SetTextForeground(*wxWHITE);
  const wxRect client(GetClientSize());
  if (!overPicture) {
    dc.DrawLabel(m_caption, client, wxALIGN_CENTRE);
    return;
  }
  // One line on a dark band along the bottom: readable over any picture, hiding little of it.
  wxString line = m_caption;
  line.Replace(wxString::FromUTF8("\n"), wxString::FromUTF8("  "));
  constexpr int kMargin = 4;
  const int height = dc.GetTextExtent(line).GetHeight() + 2 * kMargin;
  const wxRect band(0, client.GetBottom() + 1 - height, client.GetWidth(), height);
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(*wxBLACK_BRUSH);
  dc.DrawRectangle(band);
  dc.DrawLabel(line, band.Deflate(kMargin, kMargin), wxALIGN_LEFT | wxALIGN_CENTRE_VERTICAL);
}

std::unique_ptr<PreviewSurface> WxCaptureWindowHost::CreateSurface(const SCaptureWindowPlacement& placement,
                                                                   ParentWindowHandle parent) {
  auto* parentWindow = static_cast<wxWindow*>(parent.native);
  if (!parentWindow) return std::make_unique<HiddenSurface>();
  auto link = std::make_shared<CapturePanel::Link>();
  new CapturePanel(parentWindow, placement, link);  // owned by its parent until the surface destroys it
  return std::make_unique<PanelSurface>(std::move(link));
}

}  // namespace tovalen
