#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/target_check.h"
#include "dialogs/dialog_base.h"
#include "schedule/s_yoyaku.h"
#include "schedule/yoyaku_repeat.h"

class wxCalendarCtrlBase;
class wxChoice;
class wxSpinCtrl;
class wxStaticText;
class wxTextCtrl;
class wxTimePickerCtrl;

namespace tovalen {

// Edits one reservation: start and end are each a calendar date plus a time of day, composed
// into one time and shown as text; OK refuses a start in the past, an end not after the start
// a time the schedule file cannot hold, and a target that is the schedule file or whose derived
// names cannot fit, or a new target the schedule's device cannot be recorded into. The editor
// never touches the schedule.
class CDlgNewRec : public DialogBase {
 public:
  // Starts with a fresh default reservation (start = now, length 0).
  explicit CDlgNewRec(wxWindow* parent = nullptr);

  void SetYoyaku(const SYoyaku& yoyaku) {
    m_yoyaku = yoyaku;
    m_checkedTarget = yoyaku.strFileName;
  }
  // The schedule's file, refused as a target; empty while the schedule has none.
  void SetSchedulePath(std::string path) { m_schedulePath = std::move(path); }
  // Checks a new target against the device at deviceIndex; not owned, it outlives the dialog.
  void SetTargetCheck(const RecordingTargetCheck* check, std::int32_t deviceIndex) {
    m_targetCheck = check;
    m_deviceIndex = deviceIndex;
  }
  // The edited reservation; meaningful after OK.
  SYoyaku GetYoyaku() const { return m_yoyaku; }
  // After OK with a repeat chosen: every occurrence, each with its dated file name; otherwise
  // empty.
  const std::vector<SYoyaku>& GetOccurrences() const { return m_occurrences; }

  // The last successful compositions, as the labels show them.
  std::int64_t GetStartTime() const { return m_start.time; }
  std::int64_t GetEndTime() const { return m_end.time; }

 private:
  // One of the two date-and-time inputs and what was last composed from it.
  struct TimeInput {
    wxCalendarCtrlBase* calendar = nullptr;  // owned by the dialog
    wxTimePickerCtrl* picker = nullptr;      // owned by the dialog
    wxStaticText* label = nullptr;           // owned by the dialog
    const char* tracePattern = "";
    std::int64_t time = 0;
    std::string labelText;
  };

  void CreateControls();
  void CreateRepeatControls();
  YoyakuRepeat ChosenRepeat() const;
  void CreateTimeInput(TimeInput& input, int left, int firstId, int labelId, const char* frame, const char* datePrompt,
                       const char* timePrompt);
  void OnInitDialog(wxInitDialogEvent& event);
  static void ShowTime(TimeInput& input, std::int64_t time);
  // Reads the calendar and the picker; a failed read keeps the last composition.
  static void Compose(TimeInput& input);
  void OnOK(wxCommandEvent& event);
  // False (with the refusal shown) when the device cannot be recorded into a new target.
  bool TargetFitsTheDevice(const std::string& target);
  void OnButtonBrowse(wxCommandEvent& event);

  SYoyaku m_yoyaku;
  TimeInput m_start;
  TimeInput m_end;
  std::string m_strFileName;
  std::string m_strTitle;
  wxTextCtrl* m_editFileName = nullptr;  // owned by the dialog
  wxTextCtrl* m_editTitle = nullptr;     // owned by the dialog
  wxChoice* m_repeat = nullptr;          // owned by the dialog; items in YoyakuRepeat order
  wxSpinCtrl* m_repeatCount = nullptr;   // owned by the dialog
  std::vector<SYoyaku> m_occurrences;
  std::string m_schedulePath;
  const RecordingTargetCheck* m_targetCheck = nullptr;  // not owned
  std::int32_t m_deviceIndex = -1;
  std::optional<std::string> m_checkedTarget;  // the reservation's own, checked when it was entered
};

}  // namespace tovalen
