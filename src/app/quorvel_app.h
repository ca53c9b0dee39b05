#pragma once

#include <wx/app.h>
#include <wx/weakref.h>

#include <memory>
#include <string>
#include <vector>

namespace tovalen {

class CMainFrame;
class CQuorvelDocManager;
class DisplayLossWatch;
class TerminationWatch;

// The desktop application: names the settings store, gives the capture controller its
// services, makes the document manager with its one template, the main window, its view and
// document, and opens the schedule named on the command line.
class CQuorvelApp : public wxApp {
 public:
  // The command-line arguments after the program's name, as given.
  explicit CQuorvelApp(std::vector<std::string> arguments = {});
  ~CQuorvelApp() override;

  bool OnInit() override;
  int OnExit() override;
  // An exception that escaped the main loop ends the program with its message on stderr.
  void OnUnhandledException() override;

  // The start-up steps; false when the program is to end (the user was told why).
  bool StartUp(const std::vector<std::string>& arguments);
  // Saves the recent-file list and lets go of the main window and the documents.
  void ShutDown();

  CQuorvelDocManager* DocManager() const { return m_docManager.get(); }
  CMainFrame* MainFrame() const { return m_frame; }

 private:
  std::vector<std::string> m_arguments;
  std::unique_ptr<CQuorvelDocManager> m_docManager;
  wxWeakRef<CMainFrame> m_frame;
  std::unique_ptr<TerminationWatch> m_terminationWatch;
  std::unique_ptr<DisplayLossWatch> m_displayLossWatch;
};

}  // namespace tovalen
