#pragma once

#include <wx/docview.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "schedule/capture_settings.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_schedule.h"

namespace tovalen {

// What a .yyk file gave.
struct LoadedScheduleFile {
  std::string path;
  ScheduleFileContents contents;
  std::optional<FileIdentity> identity;  // the file as it was before it was read
};

// The schedule document: the reservations, saved together with the capture controller's
// settings. The document counts as modified while the schedule or those settings differ from
// what was last saved, loaded or discarded, so that New, Open and exit ask before they are lost.
class CQuorvelDoc : public wxDocument {
 public:
  CQuorvelDoc() = default;

  CYoyakuSchedule& Schedule() { return m_schedule; }
  const CYoyakuSchedule& Schedule() const { return m_schedule; }

  // Reads and checks a whole file without changing anything; on failure tells the user why.
  static std::optional<LoadedScheduleFile> ReadFile(const std::string& path, wxWindow* owner);
  // Takes over what was read: the controller's settings, the schedule and the file's name.
  void Apply(const LoadedScheduleFile& file);

  bool IsModified() const override;
  // Not modified: the current contents become the ones that count as saved.
  void Modify(bool modified) override;
  // New keeps the schedule and the settings; only the file name goes.
  bool OnNewDocument() override;
  bool OnSaveModified() override;
  bool SaveAs() override;

 protected:
  bool DoSaveDocument(const wxString& file) override;
  bool DoOpenDocument(const wxString& file) override;

 private:
  struct Contents {
    SCaptureSettings settings;
    std::vector<SYoyaku> reservations;
    bool operator==(const Contents&) const = default;
  };
  Contents Current() const;

  // Asks before a save replaces a file that changed on disk since it was opened or saved.
  bool MayOverwrite(const std::string& path);

  CYoyakuSchedule m_schedule;
  Contents m_saved = Current();
  std::optional<FileIdentity> m_onDisk;  // the file last opened or saved, as it was then

  wxDECLARE_DYNAMIC_CLASS(CQuorvelDoc);
};

// The document's file type as the file dialogs name it.
inline constexpr const char* kScheduleFilterName = "Tovalen ファイル (*.yyk)";
inline constexpr const char* kScheduleExtension = "yyk";

}  // namespace tovalen
