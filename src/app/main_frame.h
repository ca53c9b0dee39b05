#pragma once

#include <wx/aui/framemanager.h>
#include <wx/docview.h>

#include <functional>
#include <memory>

class wxAuiToolBar;

namespace tovalen {

class CDlgRecStart;
class CloseBoxWatch;
class CQuorvelDocManager;
class MainStatusBar;
class RecentFilesMenu;
class RecordingIndicator;

// The main window: the menu bar, a toolbar that docks on any side, the status bar and the
// view's window in the middle. It routes the file commands to the document manager; the view
// handles the program's own commands.
class CMainFrame : public wxDocParentFrame {
 public:
  explicit CMainFrame(CQuorvelDocManager* manager);
  ~CMainFrame() override;

  // Puts the view's window in the middle of the frame.
  void SetViewWindow(wxWindow* window);
  // The window the view made last, the capture window's parent.
  wxWindow* ViewWindow() const { return m_viewWindow; }

  // The document's title; while a capture runs, what it records is shown before it.
  void SetTitle(const wxString& title) override;
  // Shows the title again, for a change in the capture.
  void ShowTitle();

  wxAuiManager& Docking() { return m_docking; }
  wxAuiToolBar* ToolBar() const { return m_toolBar; }
  MainStatusBar* StatusBar() const { return m_statusBar; }
  RecentFilesMenu& RecentFiles() { return *m_recentFiles; }

  // Held by a command that records (the test capture, the scheduled run). Until the last one
  // has returned, a close request or a termination ends the running capture as Escape does and
  // closes the scheduled run's window once that capture has been saved; the frame acts on the
  // request afterwards, so nothing the capture uses goes while it runs. The close box while the
  // scheduled run's window is open asks first and lets the recording run to its end.
  class CaptureCommand {
   public:
    explicit CaptureCommand(CMainFrame& frame);
    ~CaptureCommand();
    CaptureCommand(const CaptureCommand&) = delete;
    CaptureCommand& operator=(const CaptureCommand&) = delete;

   private:
    CMainFrame& m_frame;
  };

  // A termination signal arrived: the capture ends and is saved, then the program ends without
  // asking anything.
  void EndProgram();
  // The program is ending on a termination: nothing may wait for the user any more.
  bool IsEnding() const { return m_ending; }

 private:
  void CreateBars();
  void SetAccelerators();
  void OnCommand(int id, std::function<void()> handler);
  void BindFileCommands();
  void BindBarCommands();
  void OnUpdateToolBar(wxUpdateUIEvent& event);
  void OnUpdateStatusBar(wxUpdateUIEvent& event);
  void ToggleToolBar();
  void ToggleStatusBar();
  void OnDropFiles(wxDropFilesEvent& event);
  void OnCloseWindow(wxCloseEvent& event);
  void EndRunningCapture(bool terminating);
  // The close box while the scheduled run's window is open: whether to end after the recording.
  void AskToEndAfterRecording();
  void EndAfterRecordingIf(bool yes);
  void CloseWhenIdle();
  // Ends the open modal dialogs; whether the frame must still wait for their loops to return.
  bool EndModalDialogs();

  CQuorvelDocManager& m_manager;  // owned by the application
  wxAuiManager m_docking;
  wxAuiToolBar* m_toolBar = nullptr;     // owned by the frame
  MainStatusBar* m_statusBar = nullptr;  // owned by the frame
  std::unique_ptr<RecentFilesMenu> m_recentFiles;
  std::unique_ptr<RecordingIndicator> m_recordingIndicator;
  std::unique_ptr<CloseBoxWatch> m_closeBox;
  wxWindow* m_viewWindow = nullptr;  // owned by the frame
  wxString m_documentTitle;
  int m_captureCommands = 0;
  bool m_closePending = false;
  bool m_askingToEnd = false;  // the question is open
  bool m_ending = false;
};

}  // namespace tovalen
