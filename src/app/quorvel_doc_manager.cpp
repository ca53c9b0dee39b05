#include "app/quorvel_doc_manager.h"

#include <wx/filedlg.h>
#include <wx/filehistory.h>

#include <filesystem>

#include "app/command_ids.h"
#include "app/quorvel_doc.h"
#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

OpenFilePresenter& Presenter() {
  static OpenFilePresenter presenter;
  return presenter;
}

std::optional<std::string> AskWithWxDialog(wxWindow* owner) {
  const std::string wildcard = std::string(kScheduleFilterName) + "|*.yyk|すべてのファイル (*.*)|*";
  wxFileDialog dialog(owner, ToWx("開く"), wxString(), wxString(), ToWx(wildcard), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return ToUtf8(dialog.GetPath());
}

std::optional<std::string> AskOpenFile(wxWindow* owner) {
  const OpenFilePresenter& presenter = Presenter();
  return presenter ? presenter(owner) : AskWithWxDialog(owner);
}

}  // namespace

OpenFilePresenter SetOpenFilePresenter(OpenFilePresenter presenter) {
  OpenFilePresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}

// Initialised here rather than by the base, whose constructor would make its own file history.
CQuorvelDocManager::CQuorvelDocManager() : wxDocManager(0, false) { Initialize(); }

CQuorvelDoc* CQuorvelDocManager::Document() const {
  const wxDocVector documents = GetDocumentsVector();
  return documents.empty() ? nullptr : wxDynamicCast(documents.front(), CQuorvelDoc);
}

bool CQuorvelDocManager::NewDocument() {
  CQuorvelDoc* doc = Document();
  if (!doc) return CreateNewDocument() != nullptr;
  return doc->OnSaveModified() && doc->OnNewDocument();
}

bool CQuorvelDocManager::OpenWithDialog() {
  const auto path = AskOpenFile(m_frame);
  return path && OpenDocumentFile(*path);
}

bool CQuorvelDocManager::OpenDocumentFile(const std::string& path) {
  CQuorvelDoc* doc = Document();
  if (!doc) return false;
  const auto loaded = CQuorvelDoc::ReadFile(path, m_frame);
  if (!loaded || !doc->OnSaveModified()) return false;
  doc->Apply(*loaded);
  AddFileToHistory(ToWx(path));
  return true;
}

bool CQuorvelDocManager::OpenRecentFile(std::size_t index) {
  if (index >= GetHistoryFilesCount()) return false;
  const std::string path = ToUtf8(GetHistoryFile(index));
  std::error_code error;
  const bool gone = !std::filesystem::exists(path, error);
  if (OpenDocumentFile(path)) return true;
  if (gone) RemoveFileFromHistory(index);
  return false;
}

wxFileHistory* CQuorvelDocManager::OnCreateFileHistory() {
  return new wxFileHistory(cmd::kRecentFileCount, cmd::ID_FILE_MRU_FILE1);
}

wxString CQuorvelDocManager::MakeNewDocumentName() { return ToWx("無題"); }

void CQuorvelDocManager::AddFileToHistory(const wxString& file) {
  wxDocManager::AddFileToHistory(file);
  NotifyHistoryChanged();
}

void CQuorvelDocManager::RemoveFileFromHistory(size_t i) {
  wxDocManager::RemoveFileFromHistory(i);
  NotifyHistoryChanged();
}

void CQuorvelDocManager::FileHistoryLoad(const wxConfigBase& config) {
  wxDocManager::FileHistoryLoad(config);
  NotifyHistoryChanged();
}

void CQuorvelDocManager::NotifyHistoryChanged() const {
  if (m_historyChanged) m_historyChanged();
}

}  // namespace tovalen
