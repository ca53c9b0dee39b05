#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "capture/active_runner.h"
#include "capture/capture_driver_records.h"
#include "capture/capture_listener.h"
#include "capture/leftover_recovery.h"
#include "platform/sleep_inhibitor.h"
#include "recording/late_start.h"
#include "recording/leftover_sweep.h"
#include "recording/runner_window.h"
#include "schedule/yoyaku_schedule.h"

namespace tovalen {

// The scheduled-recording mode: arms one timer per reservation and records each one at its
// time through the capture controller, showing its progress in a RunnerWindow. The GUI's status
// dialog and the command-line runner both drive this class; it reads the time from Clock.
// During each recording it is also the controller's listener, in front of the one installed
// before (the main window's), to which it passes on what it does not answer itself.
// Everything runs on the user-interface thread.
class CRecordingRunner : public CActiveRunner, private CaptureListener {
 public:
  // The longest delay armed at once: 2^31 - 1 ms, cut to whole seconds, fits every platform
  // timer. A reservation further ahead is re-armed until it falls due.
  static constexpr std::chrono::seconds kLongestTimerDelay{2'147'483};

  explicit CRecordingRunner(RunnerWindow& window);
  ~CRecordingRunner() override = default;

  // The window the capture window is made under (none for the command-line runner).
  void SetCaptureParent(ParentWindowHandle parent) { m_hWndCapParent = parent; }
  // The schedule that is run; not owned, and must outlive the open runner.
  void SetSchedule(CYoyakuSchedule& schedule) { m_pDoc = &schedule; }
  // The schedule's file, so that no recording is saved over it; empty while it has none.
  void SetSchedulePath(std::string path) { m_schedulePath = std::move(path); }
  // What Open does with a reservation already under way; set before Open.
  void SetLateStart(LateStart late) { m_lateStart = late; }

  // The window opens: purges past reservations, arms their timers, puts the device on standby,
  // and starts rebuilding the leftovers of killed recordings beside the timetable.
  void Open();
  // The window's timer `nIDEvent` fell due. Returns after the whole recording it starts.
  void OnTimer(std::uint32_t nIDEvent);
  // The window closes: kills the timers, purges what has started, and stops being active.
  // Refused (false) while a capture runs, as the window acts on Cancel only once the recording
  // has returned: closed during it, the capture would lose its time bound. A refused close is
  // remembered: the window closes once the recording has returned (ShouldClose).
  bool Close();
  // A close was refused during the recording that has now returned: the window closes as Cancel.
  bool ShouldClose() const { return m_closeRequested && !m_bCapturing; }

  // How often the window's periodic tick calls OnWallClockTick.
  static constexpr std::chrono::milliseconds kWallClockTick{250};
  // The window's timers run on a clock that stops during a suspend and ignores changes of the
  // wall clock; this tick starts what the wall clock says is due although its timer has not
  // fallen due yet. It also passes on the leftover reports made meanwhile.
  void OnWallClockTick();
  // Notes each leftover report made since the last call on the window (the window's loop calls
  // this, or OnWallClockTick, while it waits; frames call it too).
  void PassOnLeftoverReports();
  // Whether leftovers are still being rebuilt; closing waits for the one in hand.
  bool IsRecoveringLeftovers() const { return m_sweep && m_sweep->IsRunning(); }

  void UpdateFrameCount(std::int32_t elapsedMs) override;
  std::int32_t GetRecordSeconds() const override { return m_nRecordSeconds; }
  // Shows the next reservation and notes that the device is to go on standby, which the runner
  // does once the capture that calls this has returned.
  void OnCaptureFinished() override;

  const RunnerDisplay& GetDisplay() const { return m_display; }
  // The schedule's file changed while the runner waits: arms the timers again for these
  // reservations, leaving out those it has started and those whose start has passed unless
  // they were already waiting. They replace the schedule's contents. Not during a capture.
  void Replan(std::vector<SYoyaku> reservations);

  // Reservations armed at opening (or replanning) that have not been started yet.
  bool HasReservationsLeft() const { return !m_waitingTimers.empty(); }
  int GetWaitingCount() const { return static_cast<int>(m_waitingTimers.size()); }
  int GetRecordedCount() const { return m_recorded; }
  int GetFailedCount() const { return m_failed; }
  // What has become of the recordings killed captures left in the reservations' folders, as
  // passed on so far.
  const std::vector<LeftoverReport>& GetLeftoverReports() const { return m_leftovers; }

 private:
  void ArmReservationTimer(std::int32_t yoyakuId, Time32 start);
  void HandleDueTimer(std::uint32_t nIDEvent);
  // Wall-clock checks: a timer's start can come before or after its timer falls due.
  static bool IsDueByWallClock(const SYoyaku& yoyaku);
  std::optional<std::uint32_t> FirstWaitingDueByWallClock() const;
  void StartReservation(std::int32_t yoyakuId, const SYoyaku& yoyaku);
  // KickCaptureDevice with the runner listening; nothing when the recording was saved,
  // otherwise why it failed. Puts the device on standby afterwards when the recording asked.
  std::optional<std::string> Record(const std::string& fileName);
  // Decides how long the reservation records from now; false when its end has passed.
  bool SetRecordingBounds(const SYoyaku& yoyaku);
  // Another reservation waits to start within the second after this end.
  bool IsFollowedAt(std::int64_t end) const;
  // The file a reservation under way at opening records into; nothing when there is none.
  std::optional<std::string> LateTarget(const SYoyaku& yoyaku);
  void ShowWhatFollows();

  // The controller's listener, during a recording.
  void OnCaptureStarted(const CaptureProgress& progress) override;
  void OnCaptureProgress(const CaptureProgress& progress) override;
  void OnCaptureEnded() override;
  bool HasReachedItsEnd() const override;

  void HoldSleepWhileNeeded();
  void PurgeThePast();
  void Tell(const std::string& line);
  void SetTexts(RunnerState state, std::string activity, std::string nextReservation, std::string failure = {});
  void ShowTexts();

  RunnerWindow& m_window;
  CYoyakuSchedule* m_pDoc = nullptr;  // not owned
  std::int32_t m_nRecordSeconds = 0;
  std::int32_t m_iCurrent = 0;
  ParentWindowHandle m_hWndCapParent;
  std::int32_t m_nFrames = 0;
  RunnerDisplay m_display;  // m_strNextReservation and m_strActivity, with the state they show

  bool m_bCapturing = false;
  bool m_closeRequested = false;            // refused during a recording
  std::set<std::uint32_t> m_waitingTimers;  // armed at opening, reservation not started yet
  std::deque<std::uint32_t> m_dueTimers;    // fell due, waiting for the running capture to end
  int m_recorded = 0;
  int m_failed = 0;
  std::vector<LeftoverReport> m_leftovers;
  SleepInhibitor m_sleepInhibitor;  // held from opening to closing, naming what is shown next
  LateStart m_lateStart = LateStart::kDrop;
  std::string m_schedulePath;
  std::set<std::uint32_t> m_lateTimers;  // under way at opening, recorded until their own end
  // The wall-clock instant (ms) at which the running capture ends although its length and the
  // stop rule's extra second have not passed; none when only the length decides.
  std::optional<std::int64_t> m_stopAtMs;
  // While recording: the controller's listener that the runner stands in front of.
  CaptureListener* m_listenerBehind = nullptr;
  // A saved recording asked for standby, which waits until Capture has returned.
  bool m_standbyDue = false;
  std::unique_ptr<LeftoverSweep> m_sweep;  // last: its worker stops before the rest goes
};

// Wakes the device, sets the capture file and records into it, stopping at the first step that
// fails. Nothing when all of them succeed; otherwise why the recording failed, in Japanese for
// the user.
std::optional<std::string> KickCaptureDevice(ParentWindowHandle parent, const std::string& fileName);

}  // namespace tovalen
