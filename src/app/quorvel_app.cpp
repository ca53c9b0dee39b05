#include "app/quorvel_app.h"

#include <wx/fileconf.h>

#include <filesystem>
#include <iostream>

#include "app/capture_services.h"
#include "app/display_loss_watch.h"
#include "app/document_template.h"
#include "app/main_frame.h"
#include "app/quorvel_doc_manager.h"
#include "app/termination_watch.h"
#include "dialogs/message_box.h"
#include "dialogs/toolkit_language.h"
#include "dialogs/wx_text.h"
#include "platform/config_folder.h"

namespace tovalen {
namespace {

constexpr const char* kAppName = "Tovalen";
constexpr const char* kVendorName = "Local AppWizard-Generated Applications";

// The recent-file list, beside the capture device settings in the user's configuration folder.
void UseSettingsStore() {
  std::filesystem::path file;
  const std::filesystem::path folder = ConfigFolder();
  std::error_code error;
  if (!folder.empty()) {
    std::filesystem::create_directories(folder, error);
    if (!error) file = folder / "tovalen.conf";
  }
  delete wxConfigBase::Set(
      new wxFileConfig(ToWx(kAppName), ToWx(kVendorName), ToWx(file.string()), wxString(), wxCONFIG_USE_LOCAL_FILE));
}

}  // namespace

CQuorvelApp::CQuorvelApp(std::vector<std::string> arguments) : m_arguments(std::move(arguments)) {}

CQuorvelApp::~CQuorvelApp() = default;

bool CQuorvelApp::OnInit() { return StartUp(m_arguments); }

void CQuorvelApp::OnUnhandledException() {
  try {
    throw;
  } catch (const std::exception& error) {
    std::cerr << "tovalen: " << error.what() << '\n';
  } catch (...) {
    std::cerr << "tovalen: unexpected failure\n";
  }
}

int CQuorvelApp::OnExit() {
  ShutDown();
  return wxApp::OnExit();
}

bool CQuorvelApp::StartUp(const std::vector<std::string>& arguments) {
  SetAppName(ToWx(kAppName));
  SetAppDisplayName(ToWx(kAppName));
  SetVendorName(ToWx(kVendorName));
  UseJapaneseToolkitTexts();
  UseSettingsStore();
  InstallCaptureServices();

  m_docManager.reset();  // only one manager may exist at a time
  m_docManager = std::make_unique<CQuorvelDocManager>();
  m_docManager->FileHistoryLoad(*wxConfigBase::Get());
  CreateDocumentTemplate(*m_docManager);

  auto* frame = new CMainFrame(m_docManager.get());
  m_frame = frame;
  m_docManager->SetMainFrame(frame);
  SetTopWindow(frame);

  bool started = m_docManager->CreateNewDocument() != nullptr;
  if (started && arguments.size() > 1) {
    ShowMessageBox(
        {frame, "使い方: tovalen [スケジュールファイル.yyk]", "Tovalen", MessageIcon::kStop, MessageButtons::kOk});
    started = false;
  }
  if (started && !arguments.empty()) started = m_docManager->OpenDocumentFile(arguments.front());
  if (!started) {
    ShutDown();
    return false;
  }
  // A termination signal ends the capture, saves it and ends the program, as tovalen-rec does.
  m_terminationWatch.reset();  // one watch at a time
  m_terminationWatch = std::make_unique<TerminationWatch>([this] {
    if (m_frame) m_frame->EndProgram();
  });
  m_displayLossWatch.reset();
  m_displayLossWatch = std::make_unique<DisplayLossWatch>(SaveRecordingForLostDisplay);
  frame->Show(true);
  frame->Update();
  frame->DragAcceptFiles(true);
  return true;
}

void CQuorvelApp::ShutDown() {
  m_terminationWatch.reset();
  m_displayLossWatch.reset();
  if (m_docManager) {
    m_docManager->FileHistorySave(*wxConfigBase::Get());
    m_docManager->OnHistoryChanged(nullptr);
    m_docManager->Clear(true);  // what start-up left when it failed; nothing after a normal exit
  }
  if (m_frame) {
    m_frame->Destroy();
    DeletePendingObjects();
  }
  delete wxConfigBase::Set(nullptr);  // writes the settings
}

}  // namespace tovalen
