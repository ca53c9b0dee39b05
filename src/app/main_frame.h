#pragma once

#include <wx/aui/framemanager.h>
#include <wx/docview.h>

#include <functional>
#include <memory>

class wxAuiToolBar;

namespace tovalen {

class CQuorvelDocManager;
class MainStatusBar;
class RecentFilesMenu;

// The main window: the menu bar, a toolbar that docks on any side, the status bar and the
// view's window in the middle. It routes the file commands to the document manager; the view
// handles the program's own commands.
class CMainFrame : public wxDocParentFrame {
 public:
  explicit CMainFrame(CQuorvelDocManager* manager);
  ~CMainFrame() override;

  // Puts the view's window in the middle of the frame.
  void SetViewWindow(wxWindow* window);

  wxAuiManager& Docking() { return m_docking; }
  wxAuiToolBar* ToolBar() const { return m_toolBar; }
  MainStatusBar* StatusBar() const { return m_statusBar; }
  RecentFilesMenu& RecentFiles() { return *m_recentFiles; }

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

  CQuorvelDocManager& m_manager;  // owned by the application
  wxAuiManager m_docking;
  wxAuiToolBar* m_toolBar = nullptr;     // owned by the frame
  MainStatusBar* m_statusBar = nullptr;  // owned by the frame
  std::unique_ptr<RecentFilesMenu> m_recentFiles;
};

}  // namespace tovalen
