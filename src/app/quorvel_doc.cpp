#include "app/quorvel_doc.h"

#include <chrono>

#include "capture/video_cap.h"
#include "dialogs/message_box.h"
#include "dialogs/save_file_dialog.h"
#include "dialogs/wx_text.h"
#include "platform/atomic_file.h"
#include "platform/file_lock.h"

namespace tovalen {

wxIMPLEMENT_DYNAMIC_CLASS(CQuorvelDoc, wxDocument);

namespace {

void ReportFailure(wxWindow* owner, const std::string& what, const std::exception& error) {
  ShowMessageBox({owner, what + "\n\n" + error.what(), "Tovalen", MessageIcon::kStop, MessageButtons::kOk});
}

}  // namespace

std::optional<LoadedScheduleFile> CQuorvelDoc::ReadFile(const std::string& path, wxWindow* owner) {
  // Taken before reading: a change made while the file is read then counts as a change.
  const std::optional<FileIdentity> identity = IdentifyFile(path);
  try {
    return LoadedScheduleFile{path, LoadScheduleFile(path), identity};
  } catch (const FileError& error) {
    ReportFailure(owner, "ファイルを開けませんでした。", error);
  } catch (const ScheduleFileError& error) {
    ReportFailure(owner, "ファイルを開けませんでした。", error);
  }
  return std::nullopt;
}

void CQuorvelDoc::Apply(const LoadedScheduleFile& file) {
  CVideoCap::GetInstance().SetCaptureSettings(file.contents.settings);
  m_schedule.ReplaceAll(file.contents.reservations);
  m_onDisk = file.identity;
  const wxString path = ToWx(file.path);
  SetTitle(wxFileNameFromPath(path));
  SetFilename(path, true);
  SetDocumentSaved(true);
  Modify(false);
  UpdateAllViews();
}

CQuorvelDoc::Contents CQuorvelDoc::Current() const {
  return {CVideoCap::GetInstance().GetCaptureSettings(), m_schedule.Items()};
}

bool CQuorvelDoc::IsModified() const { return wxDocument::IsModified() || Current() != m_saved; }

void CQuorvelDoc::Modify(bool modified) {
  if (!modified) m_saved = Current();
  wxDocument::Modify(modified);
}

bool CQuorvelDoc::OnNewDocument() {
  if (!wxDocument::OnNewDocument()) return false;
  m_onDisk.reset();
  Modify(false);
  return true;
}

bool CQuorvelDoc::OnSaveModified() {
  if (!IsModified()) return true;
  const std::string text = ToUtf8(GetUserReadableName()) + " への変更を保存しますか?";
  switch (
      ShowMessageBox({GetDocumentWindow(), text, "Tovalen", MessageIcon::kExclamation, MessageButtons::kYesNoCancel})) {
    case MessageAnswer::kYes:
      return Save();
    case MessageAnswer::kNo:
      Modify(false);
      return true;
    default:
      return false;
  }
}

bool CQuorvelDoc::SaveAs() {
  const std::string current = ToUtf8(GetFilename());
  const std::string initial = GetDocumentSaved() ? current : ToUtf8(GetUserReadableName()) + "." + kScheduleExtension;
  const auto path = AskSaveFile({GetDocumentWindow(), {{kScheduleFilterName, "*.yyk"}}, initial, kScheduleExtension});
  if (!path) return false;
  const wxString file = ToWx(*path);
  if (!OnSaveDocument(file)) return false;
  SetTitle(wxFileNameFromPath(file));
  SetFilename(file, true);
  GetDocumentManager()->AddFileToHistory(file);
  return true;
}

bool CQuorvelDoc::MayOverwrite(const std::string& path) {
  // Only the file this document came from is compared; the save dialog asks about others.
  if (!m_onDisk || path != ToUtf8(GetFilename()) || !ChangedOnDisk(path, *m_onDisk)) return true;
  const std::string text = path + "\n\nこのファイルは開いた後で他のプログラムによって変更されています。上書きしますか?";
  return ShowMessageBox({GetDocumentWindow(), text, "Tovalen", MessageIcon::kQuestion, MessageButtons::kYesNo}) ==
         MessageAnswer::kYes;
}

bool CQuorvelDoc::DoSaveDocument(const wxString& file) {
  const std::string path = ToUtf8(file);
  try {
    // Held from the check to the rename, so that no command's change slips in between.
    const FileLock lock(path, std::chrono::seconds(5));
    if (!MayOverwrite(path)) return false;
    m_onDisk = SaveScheduleFile(path, CVideoCap::GetInstance().GetCaptureSettings(), m_schedule);
    return true;
  } catch (const FileError& error) {
    ReportFailure(GetDocumentWindow(), "ファイルを保存できませんでした。", error);
    return false;
  }
}

bool CQuorvelDoc::DoOpenDocument(const wxString& file) {
  const auto loaded = ReadFile(ToUtf8(file), GetDocumentWindow());
  if (!loaded) return false;
  Apply(*loaded);
  return true;
}

}  // namespace tovalen
