#pragma once

#include <wx/docview.h>

#include <string>

#include "capture/capture_driver_records.h"

namespace tovalen {

class CMainFrame;
class CQuorvelDoc;
class CVideoCap;

// The one view of the main window. It draws nothing; its window is the parent of the capture
// window, so preview and overlay appear inside the main window. It handles the program's own
// commands (reservations, device, capture settings, test capture, debug info, help) on the
// capture controller and the document.
class CQuorvelView : public wxView {
 public:
  CQuorvelView();

  bool OnCreate(wxDocument* doc, long flags) override;
  void OnDraw(wxDC* dc) override;
  bool OnClose(bool deleteWindow) override;
  // The frame's title: the document's name, then the program's.
  void OnChangeFilename() override;

  CQuorvelDoc* GetDocument() const;
  // The window that the capture window is made under.
  wxWindow* GetViewWindow() const { return m_window; }
  ParentWindowHandle CaptureParent() const { return ParentWindowHandle{m_window}; }

 private:
  CMainFrame* Frame() const;
  void BindCommands();
  void BindUpdateRules();

  void OnRecList();
  void OnRecStart();
  void OnCapSelectDevice();
  void OnCapStreamSources();
  void OnCapPreview();
  void OnCapOverlay();
  void OnCapTest();
  void OnCapAudio();
  void OnCapVideoOption();
  void OnDebugInfo();
  void OnHelpContents();

  // The document's file, which no reservation may record over; empty while it has none.
  std::string SchedulePath() const;
  void ShowError(const char* text) const;
  void ShowNoDevice() const;

  wxWindow* m_window = nullptr;  // owned by the main frame

  wxDECLARE_DYNAMIC_CLASS(CQuorvelView);
};

}  // namespace tovalen
