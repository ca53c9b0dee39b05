#include "app/main_frame.h"

#include <wx/accel.h>
#include <wx/app.h>
#include <wx/aui/auibar.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/menu.h>
#include <wx/weakref.h>

#include <array>

#include "app/capture_services.h"
#include "app/close_box_watch.h"
#include "app/command_ids.h"
#include "app/main_menu.h"
#include "app/main_status_bar.h"
#include "app/main_toolbar.h"
#include "app/quorvel_doc.h"
#include "app/quorvel_doc_manager.h"
#include "app/recent_files_menu.h"
#include "app/recording_indicator.h"
#include "app/wx_main_loop.h"
#include "capture/active_runner.h"
#include "capture/video_cap.h"
#include "dialogs/app_icon.h"
#include "dialogs/dlg_rec_start.h"
#include "dialogs/message_box.h"
#include "dialogs/version_dlg.h"
#include "dialogs/wx_text.h"
#include "platform/trace.h"

namespace tovalen {
namespace {

// Room for the toolbar, a 640 x 480 capture window and the whole idle text of the status bar.
const wxSize kInitialSize(800, 600);

const char* const kToolBarPane = "toolbar";

// The scheduled run's window while its run is open, or null.
CDlgRecStart* OpenRunnerWindow() {
  for (wxWindow* window : wxTopLevelWindows) {
    auto* runner = dynamic_cast<CDlgRecStart*>(window);
    if (runner && CActiveRunner::GetActive() == &runner->Runner()) return runner;
  }
  return nullptr;
}

}  // namespace

CMainFrame::CMainFrame(CQuorvelDocManager* manager)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, ToWx("Tovalen"), wxDefaultPosition, kInitialSize),
      m_manager(*manager),
      m_recordingIndicator(std::make_unique<RecordingIndicator>(*this)),
      m_documentTitle(GetTitle()) {
  SetIcon(AppIcon());
  CreateBars();
  SetAccelerators();
  BindFileCommands();
  BindBarCommands();
  Bind(wxEVT_DROP_FILES, &CMainFrame::OnDropFiles, this);
  Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnCloseWindow, this);
  CVideoCap::GetInstance().SetCaptureListener(m_recordingIndicator.get());
  m_closeBox = std::make_unique<CloseBoxWatch>(
      *this, [] { return OpenRunnerWindow() != nullptr; }, [this] { AskToEndAfterRecording(); });
}

CMainFrame::~CMainFrame() {
  CVideoCap::GetInstance().SetCaptureListener(nullptr);
  m_manager.OnHistoryChanged(nullptr);
  m_docking.UnInit();
}

void CMainFrame::CreateBars() {
  const MainMenu menu = CreateMainMenu();
  SetMenuBar(menu.bar);
  m_recentFiles = std::make_unique<RecentFilesMenu>(*menu.file, *m_manager.GetFileHistory());
  m_recentFiles->Refresh();
  m_manager.OnHistoryChanged([this] { m_recentFiles->Refresh(); });

  m_docking.SetManagedWindow(this);
  m_toolBar = CreateMainToolBar(this);
  m_docking.AddPane(m_toolBar, wxAuiPaneInfo().Name(ToWx(kToolBarPane)).ToolbarPane().Top());

  m_statusBar = new MainStatusBar(this);
  SetStatusBar(m_statusBar);
  SetStatusBarPane(0);
  m_docking.Update();
}

void CMainFrame::SetAccelerators() {
  using namespace cmd;
  std::array<wxAcceleratorEntry, 14> keys = {{
      {wxACCEL_CTRL, 'N', ID_FILE_NEW},
      {wxACCEL_CTRL, 'O', ID_FILE_OPEN},
      {wxACCEL_CTRL, 'S', ID_FILE_SAVE},
      {wxACCEL_CTRL, 'P', ID_FILE_PRINT},
      {wxACCEL_CTRL, 'Z', ID_EDIT_UNDO},
      {wxACCEL_ALT, WXK_BACK, ID_EDIT_UNDO},
      {wxACCEL_CTRL, 'X', ID_EDIT_CUT},
      {wxACCEL_SHIFT, WXK_DELETE, ID_EDIT_CUT},
      {wxACCEL_CTRL, 'C', ID_EDIT_COPY},
      {wxACCEL_CTRL, WXK_INSERT, ID_EDIT_COPY},
      {wxACCEL_CTRL, 'V', ID_EDIT_PASTE},
      {wxACCEL_SHIFT, WXK_INSERT, ID_EDIT_PASTE},
      {wxACCEL_NORMAL, WXK_F6, ID_NEXT_PANE},
      {wxACCEL_SHIFT, WXK_F6, ID_PREV_PANE},
  }};
  SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(keys.size()), keys.data()));
}

void CMainFrame::OnCommand(int id, std::function<void()> handler) {
  const auto call = [handler = std::move(handler)](wxCommandEvent&) { handler(); };
  Bind(wxEVT_MENU, call, id);
}

void CMainFrame::BindFileCommands() {
  using namespace cmd;
  OnCommand(ID_FILE_NEW, [this] { m_manager.NewDocument(); });
  OnCommand(ID_FILE_OPEN, [this] { m_manager.OpenWithDialog(); });
  OnCommand(ID_FILE_SAVE, [this] {
    if (CQuorvelDoc* doc = m_manager.Document()) doc->Save();
  });
  OnCommand(ID_FILE_SAVE_AS, [this] {
    if (CQuorvelDoc* doc = m_manager.Document()) doc->SaveAs();
  });
  for (int i = 0; i < kRecentFileCount; ++i) {
    OnCommand(ID_FILE_MRU_FILE1 + i, [this, i] { m_manager.OpenRecentFile(static_cast<std::size_t>(i)); });
  }
  OnCommand(ID_APP_EXIT, [this] { Close(); });
  OnCommand(ID_APP_ABOUT, [] {
    CVersionDlg about;
    about.ShowModal();
  });
  // The view draws nothing, so a printed page is empty; the print framework is still offered.
  const auto print = [this] {
    wxCommandEvent event;
    m_manager.OnPrint(event);
  };
  OnCommand(ID_FILE_PRINT, print);
  OnCommand(ID_FILE_PRINT_DIRECT, print);
  OnCommand(ID_FILE_PRINT_PREVIEW, [this] {
    wxCommandEvent event;
    m_manager.OnPreview(event);
  });
  OnCommand(ID_FILE_PRINT_SETUP, [this] {
    wxCommandEvent event;
    m_manager.OnPageSetup(event);
  });
}

void CMainFrame::BindBarCommands() {
  using namespace cmd;
  OnCommand(ID_VIEW_TOOLBAR, [this] { ToggleToolBar(); });
  OnCommand(ID_VIEW_STATUS_BAR, [this] { ToggleStatusBar(); });
  Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateToolBar, this, ID_VIEW_TOOLBAR);
  Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateStatusBar, this, ID_VIEW_STATUS_BAR);
}

void CMainFrame::OnUpdateToolBar(wxUpdateUIEvent& event) { event.Check(m_docking.GetPane(m_toolBar).IsShown()); }

void CMainFrame::OnUpdateStatusBar(wxUpdateUIEvent& event) { event.Check(m_statusBar->IsShown()); }

void CMainFrame::SetTitle(const wxString& title) {
  m_documentTitle = title;
  ShowTitle();
}

void CMainFrame::ShowTitle() {
  const wxString title = m_recordingIndicator->Title(m_documentTitle);
  if (GetTitle() != title) wxDocParentFrame::SetTitle(title);
}

void CMainFrame::SetViewWindow(wxWindow* window) {
  m_viewWindow = window;
  m_docking.AddPane(window, wxAuiPaneInfo().Name(ToWx("view")).CenterPane());
  m_docking.Update();
}

void CMainFrame::ToggleToolBar() {
  wxAuiPaneInfo& pane = m_docking.GetPane(m_toolBar);
  pane.Show(!pane.IsShown());
  m_docking.Update();
}

void CMainFrame::ToggleStatusBar() {
  m_statusBar->Show(!m_statusBar->IsShown());
  SendSizeEvent();
}

void CMainFrame::OnDropFiles(wxDropFilesEvent& event) {
  if (event.GetNumberOfFiles() > 0) m_manager.OpenDocumentFile(ToUtf8(event.GetFiles()[0]));
}

CMainFrame::CaptureCommand::CaptureCommand(CMainFrame& frame) : m_frame(frame) { ++m_frame.m_captureCommands; }

CMainFrame::CaptureCommand::~CaptureCommand() {
  if (--m_frame.m_captureCommands > 0) return;
  // An abort asked for as the capture was ending must not end the next one at its start.
  CaptureMainLoop().TakeAbortInput();
  if (!(m_frame.m_closePending || m_frame.m_ending)) return;
  // After the command's handler has returned: the view and its window are still in use until then.
  m_frame.CallAfter([frame = &m_frame] { frame->CloseWhenIdle(); });
}

void CMainFrame::OnCloseWindow(wxCloseEvent& event) {
  if (m_captureCommands > 0 && event.CanVeto()) {
    event.Veto();
    if (!m_closePending) Trace("D: CMainFrame: closes once the capture has been saved\n");
    m_closePending = true;
    EndRunningCapture(false);
    return;
  }
  m_closePending = false;
  if (m_ending) {
    // Nobody is left to answer the question about unsaved changes.
    for (wxDocument* doc : m_manager.GetDocumentsVector()) {
      if (doc->IsModified()) Trace("D: CMainFrame: ending without saving the changed schedule\n");
      doc->Modify(false);
    }
  }
  event.Skip();  // the document frame closes the documents and itself
}

void CMainFrame::EndProgram() {
  if (!m_ending) Trace("D: CMainFrame: ending on a termination signal\n");
  m_ending = true;
  if (m_captureCommands > 0) {
    EndRunningCapture(true);
  } else {
    CloseWhenIdle();
  }
}

void CMainFrame::AskToEndAfterRecording() {
  if (!OpenRunnerWindow() || m_closePending || m_ending || m_askingToEnd) return;
  // Asked without waiting, in a window of its own: a question left open must not hold the
  // recording past its end, and it outlives a run that ends meanwhile.
  const MessageBoxRequest question{nullptr, "現在の録画が終わったら終了しますか?", "Tovalen", MessageIcon::kQuestion,
                                   MessageButtons::kYesNo};
  m_askingToEnd = true;
  ShowMessageBoxWithoutWaiting(question, [frame = wxWeakRef<CMainFrame>(this)](MessageAnswer answer) {
    if (frame) frame->EndAfterRecordingIf(answer == MessageAnswer::kYes);
  });
}

void CMainFrame::EndAfterRecordingIf(bool yes) {
  m_askingToEnd = false;
  if (!yes || m_closePending || m_ending) return;
  Trace("D: CMainFrame: ends once the recording has been saved\n");
  m_closePending = true;
  // As Cancel: at once while nothing records. The frame closes once the run's command returns,
  // or now when the run has already ended.
  if (CDlgRecStart* open = OpenRunnerWindow()) {
    open->RequestClose();
  } else {
    CloseWhenIdle();
  }
}

void CMainFrame::EndRunningCapture(bool terminating) {
  if (CVideoCap::GetInstance().IsCapturing()) {
    CaptureMainLoop().RequestAbort(terminating ? AbortInput::kTerminationSignal : AbortInput::kEscapeKey);
  }
  // The scheduled run's window closes as its Cancel does, at once or after the recording.
  for (wxWindow* window : wxTopLevelWindows) {
    if (auto* runner = dynamic_cast<CDlgRecStart*>(window)) runner->RequestClose();
  }
}

void CMainFrame::CloseWhenIdle() {
  if (m_captureCommands > 0) return;  // the last one calls again when it has returned
  if (m_ending && EndModalDialogs()) {
    CallAfter([this] { CloseWhenIdle(); });
    return;
  }
  Close(m_ending);
}

bool CMainFrame::EndModalDialogs() {
  // A modal dialog's loop runs on the stack of a command that uses the view: it must return
  // before the frame and its view go.
  bool modal = false;
  for (wxWindow* window : wxTopLevelWindows) {
    if (auto* dialog = dynamic_cast<wxDialog*>(window); dialog && dialog->IsModal()) {
      dialog->EndModal(wxID_CANCEL);
      modal = true;
    }
  }
  const wxEventLoopBase* mainLoop = wxTheApp->GetMainLoop();
  return modal || (mainLoop && wxEventLoopBase::GetActive() != mainLoop);
}

}  // namespace tovalen
