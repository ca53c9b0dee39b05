#pragma once

#include <wx/docview.h>

#include <functional>
#include <optional>
#include <string>

namespace tovalen {

class CQuorvelDoc;

// The document handling of the single-document window. There is one document for the whole
// run: New and Open reuse it rather than closing it first, so an open that fails leaves it as
// it was. Opening reads and checks the whole file before it asks about unsaved changes.
class CQuorvelDocManager : public wxDocManager {
 public:
  CQuorvelDocManager();

  // The one document, or null before start-up has made it.
  CQuorvelDoc* Document() const;
  // The main window that views live in; not owned.
  void SetMainFrame(wxFrame* frame) { m_frame = frame; }
  wxFrame* MainFrame() const { return m_frame; }
  // Called whenever the recent-file list changes.
  void OnHistoryChanged(std::function<void()> listener) { m_historyChanged = std::move(listener); }

  // New: asks about unsaved changes, then the document becomes untitled.
  bool NewDocument();
  // Asks for a file and opens it.
  bool OpenWithDialog();
  // Opens a .yyk file. False, with the reason told to the user, when it cannot be read or the
  // user keeps the current document.
  bool OpenDocumentFile(const std::string& path);
  // Opens the recent file at that position; a file that is gone leaves the list.
  bool OpenRecentFile(std::size_t index);

  wxFileHistory* OnCreateFileHistory() override;
  wxString MakeNewDocumentName() override;
  void AddFileToHistory(const wxString& file) override;
  void RemoveFileFromHistory(size_t i) override;
  void FileHistoryLoad(const wxConfigBase& config) override;

 private:
  void NotifyHistoryChanged() const;

  wxFrame* m_frame = nullptr;  // not owned
  std::function<void()> m_historyChanged;
};

// Asks for a schedule file to open; the chosen path, or nothing on cancel. Tests answer it.
using OpenFilePresenter = std::function<std::optional<std::string>(wxWindow* owner)>;
OpenFilePresenter SetOpenFilePresenter(OpenFilePresenter presenter);

}  // namespace tovalen
