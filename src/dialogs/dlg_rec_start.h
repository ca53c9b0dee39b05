#pragma once

#include <wx/timer.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/dialog_base.h"
#include "recording/recording_runner.h"

class wxStaticText;
class wxTextCtrl;

namespace tovalen {

class CYoyakuSchedule;

// The scheduled-recording window: the recording runner arms its timers here and shows the
// next reservation and its activity, and below them a log of what the user must not miss:
// reservations dropped or started late, leftovers of killed recordings, and why a recording
// failed. The window closes only through Cancel.
class CDlgRecStart : public DialogBase {
 public:
  explicit CDlgRecStart(wxWindow* parent = nullptr);
  ~CDlgRecStart() override;

  // The window the capture window is made under (the view).
  void SetCaptureParent(ParentWindowHandle parent) { m_runner.SetCaptureParent(parent); }
  // The schedule that is run; not owned, it outlives the window.
  void SetDocument(CYoyakuSchedule* schedule) { m_runner.SetSchedule(*schedule); }
  // The schedule's file, never recorded over; empty while the document has none.
  void SetSchedulePath(const std::string& path) { m_runner.SetSchedulePath(path); }
  // What opening does with a reservation already under way.
  void SetLateStart(LateStart late) { m_runner.SetLateStart(late); }

  const CRecordingRunner& Runner() const { return m_runner; }
  // Closes the window as Cancel does: at once, or once the running recording has returned.
  void RequestClose();
  // Whether the runner's timer is armed and has not fired.
  bool IsTimerArmed(std::uint32_t id) const;
  // The log's lines, oldest first, each after its local time stamp.
  std::vector<std::string> NoteLines() const;

 private:
  // The runner's side of the window.
  class Window : public RunnerWindow {
   public:
    explicit Window(CDlgRecStart& dialog) : m_dialog(dialog) {}
    void Show(const RunnerDisplay& display) override { m_dialog.ShowDisplay(display); }
    void ArmTimer(std::uint32_t id, std::chrono::milliseconds delay) override { m_dialog.ArmTimer(id, delay); }
    void KillTimer(std::uint32_t id) override { m_dialog.KillTimer(id); }
    void Note(const std::string& line) override { m_dialog.Note(line); }
    void NoteLeftover(const LeftoverReport& report) override { m_dialog.NoteLeftover(report); }

   private:
    CDlgRecStart& m_dialog;
  };

  void CreateControls();
  void ShowDisplay(const RunnerDisplay& display);
  void Note(const std::string& line);
  void NoteLeftover(const LeftoverReport& report);
  void AddLogEntry(const std::string& text);
  void ArmTimer(std::uint32_t id, std::chrono::milliseconds delay);
  void KillTimer(std::uint32_t id);
  void OnInitDialog(wxInitDialogEvent& event);
  void OnTimer(wxTimerEvent& event);
  void OnCancel(wxCommandEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnWallClockTick();
  // A close refused during the recording that has just returned closes the window now.
  void CloseIfAsked();

  Window m_window{*this};
  CRecordingRunner m_runner{m_window};
  std::map<std::uint32_t, std::unique_ptr<wxTimer>> m_timers;
  // Notify()-driven, so its ticks never reach OnTimer among the reservations' timer ids.
  class Ticker : public wxTimer {
   public:
    explicit Ticker(CDlgRecStart& dialog) : m_dialog(dialog) {}
    void Notify() override { m_dialog.OnWallClockTick(); }

   private:
    CDlgRecStart& m_dialog;
  };
  Ticker m_ticker{*this};
  wxStaticText* m_nextReservation = nullptr;  // owned by the dialog
  wxStaticText* m_activity = nullptr;         // owned by the dialog
  wxTextCtrl* m_log = nullptr;                // owned by the dialog
  // The reason of the failure being shown, once it is in the log; the runner may also tell it.
  std::string m_loggedFailure;
  bool m_leftoverHeadingLogged = false;
};

}  // namespace tovalen
