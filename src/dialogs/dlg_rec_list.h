#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/target_check.h"
#include "dialogs/dialog_base.h"
#include "schedule/s_yoyaku.h"
#include "schedule/yoyaku_working_list.h"

class wxListBox;

namespace tovalen {

class CYoyakuSchedule;

// What the reservation editor checks a new target against: none, or a device and its check.
struct EditorTargetCheck {
  const RecordingTargetCheck* check = nullptr;  // not owned
  std::int32_t deviceIndex = -1;
};

// What the editor gave after OK: one reservation, or every occurrence of a repeat.
struct EditedReservations {
  EditedReservations(const SYoyaku& yoyaku) : occurrences{yoyaku} {}  // NOLINT(google-explicit-constructor)
  explicit EditedReservations(std::vector<SYoyaku> all) : occurrences(std::move(all)), repeated(true) {}

  std::vector<SYoyaku> occurrences;
  bool repeated = false;
};

// Shows the whole schedule and changes a working copy of it with Add, Edit, Delete and the
// removal of past reservations; only OK writes the copy back to the schedule.
class CDlgRecList : public DialogBase {
 public:
  // Runs the reservation editor, pre-filled when a reservation is given; the edited
  // reservation (or a repeat's occurrences) after OK, nothing after Cancel.
  using ReservationEditor = std::function<std::optional<EditedReservations>(wxWindow* owner, const SYoyaku* initial)>;

  explicit CDlgRecList(wxWindow* parent = nullptr);

  // The schedule shown and written back on OK; not owned, it outlives the dialog.
  void SetDocument(CYoyakuSchedule* schedule) { m_pDoc = schedule; }
  // The schedule's file, which the editor refuses as a target; empty while it has none.
  void SetSchedulePath(std::string path) { m_schedulePath = std::move(path); }
  // The editor checks a new target against the device at deviceIndex; not owned, it outlives
  // the dialog.
  void SetTargetCheck(const RecordingTargetCheck* check, std::int32_t deviceIndex) { m_target = {check, deviceIndex}; }
  // Replaces the modal editor (tests answer it without a modal loop).
  void SetReservationEditor(ReservationEditor editor) { m_editor = std::move(editor); }

  const CYoyakuWorkingList& WorkingList() const { return m_vecYoyaku; }

 private:
  void CreateControls();
  void OnInitDialog(wxInitDialogEvent& event);
  void RefreshYoyakuList();
  // The tip of the list: the whole line `line` when the list cuts it, else none.
  void ShowWholeLine(int line);
  // The selected line, or nothing.
  std::optional<std::size_t> SelectedLine() const;
  void OnButtonRecAdd(wxCommandEvent& event);
  void OnButtonRecEdit(wxCommandEvent& event);
  void OnButtonRecDelete(wxCommandEvent& event);
  void OnButtonRecDeletePast(wxCommandEvent& event);
  void OnOK(wxCommandEvent& event);
  void RefuseOverlap();
  // Adds a repeat's occurrences, all or none, in place of the reservation at `replaced` if given.
  void InsertRepeat(const std::vector<SYoyaku>& occurrences, std::optional<std::size_t> replaced);

  CYoyakuSchedule* m_pDoc = nullptr;  // not owned
  CYoyakuWorkingList m_vecYoyaku;
  std::string m_schedulePath;
  EditorTargetCheck m_target;
  ReservationEditor m_editor;
  wxListBox* m_list = nullptr;  // owned by the dialog
};

// The reservation editor as a modal dialog, for a schedule kept in schedulePath.
std::optional<EditedReservations> RunReservationEditor(wxWindow* owner, const SYoyaku* initial,
                                                       const std::string& schedulePath,
                                                       const EditorTargetCheck& target = {});

}  // namespace tovalen
