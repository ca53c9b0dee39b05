#include "recording/recording_runner.h"

#include <algorithm>
#include <utility>

#include "capture/video_cap.h"
#include "platform/clock.h"
#include "platform/trace.h"
#include "recording/late_start_file_name.h"
#include "recording/reported_leftovers.h"
#include "schedule/recording_target_rules.h"

namespace tovalen {
namespace {

constexpr const char* kTextNothingToDo = "予約なし";
constexpr const char* kTextWaiting = "予約待機中";
constexpr const char* kTextStarting = "録画開始中";
constexpr const char* kTextError = "キャプチャ開始時にエラー発生";
constexpr const char* kTextFinished = "終了";

// Sets a flag for the lifetime of the object, also when the recording throws.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : m_flag(flag) { m_flag = true; }
  ~ScopedFlag() { m_flag = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& m_flag;
};

// Puts a listener in front of the controller's for the lifetime of the object, also when the
// recording throws, and the one it replaced back afterwards.
class ScopedListener {
 public:
  ScopedListener(CVideoCap& cap, CaptureListener& listener, CaptureListener*& behind) : m_cap(cap), m_behind(behind) {
    m_behind = m_cap.SetCaptureListener(&listener);
  }
  ~ScopedListener() { m_cap.SetCaptureListener(std::exchange(m_behind, nullptr)); }
  ScopedListener(const ScopedListener&) = delete;
  ScopedListener& operator=(const ScopedListener&) = delete;

 private:
  CVideoCap& m_cap;
  CaptureListener*& m_behind;
};

// A recording whose device stalled or went away is saved and counts as recorded; the user
// hears why it has a gap, or ends early.
std::optional<std::string> InterruptionNote(const std::optional<CaptureOutcome>& outcome) {
  if (!outcome || outcome->Failed() || !IsFailure(outcome->reason)) return std::nullopt;
  return "録画中にキャプチャデバイスが途切れました。録画できた分を保存しました: " +
         std::string(DescribeReasonForUser(outcome->reason)) +
         (outcome->detail.empty() ? "" : " (" + outcome->detail + ")");
}

}  // namespace

CRecordingRunner::CRecordingRunner(RunnerWindow& window) : m_window(window) { m_display.activity = "アイドル"; }

void CRecordingRunner::Open() {
  Activate();
  m_nFrames = 0;
  // Taken before the purge: the reservation of a recording that was killed has passed.
  const std::vector<std::string> folders = RecordingFolders(*m_pDoc);
  PurgeThePast();

  const std::int32_t count = m_pDoc->GetYoyakuCount();
  for (std::int32_t i = 0; i < count; ++i) {
    m_waitingTimers.insert(static_cast<std::uint32_t>(i) + 1);
    ArmReservationTimer(i, m_pDoc->GetYoyaku(static_cast<std::size_t>(i)).timeStart);
  }
  if (count > 0) {
    CVideoCap::GetInstance().Standby();
    SetTexts(RunnerState::kWaiting, kTextWaiting, m_pDoc->GetYoyaku(0).GetListText());
  } else {
    SetTexts(RunnerState::kNothingToDo, kTextNothingToDo, "");
  }
  ShowTexts();
  m_sweep = std::make_unique<LeftoverSweep>(folders, ReportedLeftovers::DefaultFile());
}

void CRecordingRunner::PassOnLeftoverReports() {
  if (!m_sweep) return;
  for (LeftoverReport& report : m_sweep->TakeReports()) {
    m_window.NoteLeftover(report);  // traced already, as it was made
    m_leftovers.push_back(std::move(report));
  }
}

void CRecordingRunner::PurgeThePast() {
  const OpeningPurge purge = PurgeAtOpening(*m_pDoc, m_lateStart);
  if (purge.dropped.empty() && purge.lateCount == 0) return;
  const std::int64_t now = Clock::Now();
  for (const SYoyaku& yoyaku : purge.dropped) Tell(DroppedReservationText(yoyaku, now));
  m_lateTimers.clear();
  for (std::uint32_t id = 1; id <= purge.lateCount; ++id) m_lateTimers.insert(id);
}

void CRecordingRunner::Tell(const std::string& line) {
  Trace("D: " + line + "\n");
  m_window.Note(line);
}

void CRecordingRunner::ArmReservationTimer(std::int32_t yoyakuId, Time32 start) {
  const std::int64_t delaySeconds = std::int64_t{start} - Clock::Now();
  const std::uint32_t id = static_cast<std::uint32_t>(yoyakuId) + 1;
  // Armed to the millisecond: whole seconds from a truncated now would fire up to a second late.
  // A start that has passed (the clock moved on since the purge) fires at once; one further
  // ahead than a timer holds gets a timer for part of the way and is armed again when it fires.
  const std::int64_t delayMs = std::int64_t{start} * 1000 - Clock::NowMs();
  const std::int64_t armedMs = std::clamp<std::int64_t>(
      delayMs, 0, std::chrono::duration_cast<std::chrono::milliseconds>(kLongestTimerDelay).count());
  m_window.ArmTimer(id, std::chrono::milliseconds(armedMs));
  Trace("D: yoyakuId = " + std::to_string(yoyakuId) + " , " + std::to_string(delaySeconds) + "秒後\n");
}

void CRecordingRunner::OnTimer(std::uint32_t nIDEvent) {
  m_window.KillTimer(nIDEvent);
  if (std::find(m_dueTimers.begin(), m_dueTimers.end(), nIDEvent) == m_dueTimers.end()) {
    m_dueTimers.push_back(nIDEvent);
  }
  // A window whose loop runs during the capture may deliver a timer then: it is a later start,
  // handled once the running recording has returned.
  if (m_bCapturing) return;

  const std::uint32_t next = m_dueTimers.front();
  m_dueTimers.pop_front();
  if (next != nIDEvent) m_window.KillTimer(next);
  HandleDueTimer(next);
  // What fell due meanwhile comes back through the window, one at a time and in the order it
  // fell due, so that the window can repaint and close between two recordings.
  if (!m_dueTimers.empty()) m_window.ArmTimer(m_dueTimers.front(), std::chrono::milliseconds(0));
}

void CRecordingRunner::HandleDueTimer(std::uint32_t nIDEvent) {
  const std::uint32_t yoyakuId = nIDEvent - 1;  // id 0 wraps and is refused with the others
  if (yoyakuId >= static_cast<std::uint32_t>(m_pDoc->GetYoyakuCount())) {
    Trace("E: CDlgRecStart::OnTimer() nIDEvent out of range\n");
    return;
  }
  const SYoyaku yoyaku = m_pDoc->GetYoyaku(yoyakuId);
  // A far reservation's timer covered part of the way; any timer may also fall due before its
  // start when the wall clock was set back.
  if (!IsDueByWallClock(yoyaku)) {
    ArmReservationTimer(static_cast<std::int32_t>(yoyakuId), yoyaku.timeStart);
    return;
  }
  StartReservation(static_cast<std::int32_t>(yoyakuId), yoyaku);
}

void CRecordingRunner::StartReservation(std::int32_t yoyakuId, const SYoyaku& yoyaku) {
  const std::uint32_t id = static_cast<std::uint32_t>(yoyakuId) + 1;
  m_waitingTimers.erase(id);
  m_iCurrent = yoyakuId;
  const bool underWayAtOpening = m_lateTimers.erase(id) != 0;
  if (!SetRecordingBounds(yoyaku)) {
    ShowWhatFollows();
    return;
  }
  std::optional<std::string> fileName = yoyaku.strFileName;
  if (underWayAtOpening) fileName = LateTarget(yoyaku);
  m_nFrames = 0;
  m_display.elapsedMs = 0;
  SetTexts(RunnerState::kStarting, kTextStarting, yoyaku.GetListText());
  ShowTexts();
  Trace("D: CDlgRecStart::OnTimer() nIDEvent = " + std::to_string(yoyakuId + 1) +
        ", 録画時間 = " + std::to_string(yoyaku.spanDuration) + "秒\n");

  std::optional<std::string> failure;
  if (!fileName) {
    failure = "no free name is left beside " + yoyaku.strFileName;
  } else if (const RecordingTargetProblem refused = CheckRecordingTarget(*fileName, m_schedulePath);
             refused != RecordingTargetProblem::kNone) {
    // Checked again here: the file may come from elsewhere, or the folder may have changed.
    failure = DescribeRecordingTargetProblem(refused, *fileName);
  } else {
    failure = Record(*fileName);
  }
  m_stopAtMs.reset();
  PassOnLeftoverReports();
  if (!failure) {
    ++m_recorded;
    if (const auto note = InterruptionNote(CVideoCap::GetInstance().LastCaptureOutcome())) Tell(*note);
    return;
  }
  ++m_failed;
  Trace("E: CDlgRecStart::OnTimer() KickCaptureDevice failed\n");
  // Control 1017 keeps the reservation that failed.
  SetTexts(RunnerState::kError, kTextError, m_display.nextReservation, std::move(*failure));
  ShowTexts();
}

std::optional<std::string> CRecordingRunner::Record(const std::string& fileName) {
  CVideoCap& cap = CVideoCap::GetInstance();
  std::optional<std::string> failure;
  {
    const ScopedFlag capturing(m_bCapturing);
    const ScopedListener listening(cap, *this, m_listenerBehind);
    failure = KickCaptureDevice(m_hWndCapParent, fileName);
  }
  // Not from OnCaptureFinished: Standby destroys the capture window that Capture still works on.
  if (std::exchange(m_standbyDue, false)) cap.Standby();
  return failure;
}

bool CRecordingRunner::SetRecordingBounds(const SYoyaku& yoyaku) {
  const std::int64_t now = Clock::Now();
  const std::int64_t end = std::int64_t{yoyaku.timeStart} + yoyaku.spanDuration;
  m_nRecordSeconds = yoyaku.spanDuration;
  m_stopAtMs.reset();
  // Started after its time (under way at opening, or its timer handled after another
  // recording): only what is left of it is recorded, and nothing once its end has passed.
  const bool late = now > yoyaku.timeStart;
  if (late) {
    const std::int64_t left = end - now;
    if (left <= 0) {
      Tell(DroppedReservationText(yoyaku, now));
      return false;
    }
    Tell(LateReservationText(yoyaku, now));
    m_nRecordSeconds = static_cast<std::int32_t>(std::min<std::int64_t>(left, yoyaku.spanDuration));
  }
  // The stop rule's extra second would delay a start that follows at once, and each one after
  // it; a late start keeps the second after its end, as one on time does, but no more.
  if (IsFollowedAt(end)) {
    m_stopAtMs = end * 1000;
  } else if (late) {
    m_stopAtMs = (end + 1) * 1000;
  }
  return true;
}

bool CRecordingRunner::IsFollowedAt(std::int64_t end) const {
  const auto count = static_cast<std::uint32_t>(m_pDoc->GetYoyakuCount());
  return std::any_of(m_waitingTimers.begin(), m_waitingTimers.end(), [&](std::uint32_t id) {
    return id >= 1 && id <= count && m_pDoc->GetYoyaku(id - 1).timeStart <= end + 1;
  });
}

std::optional<std::string> CRecordingRunner::LateTarget(const SYoyaku& yoyaku) {
  // Replacing the target would lose what was recorded of this reservation before (or the part
  // rebuilt from its leftover, which recovery may be placing right now).
  std::optional<std::string> fileName = LateStartFileName(yoyaku.strFileName);
  if (fileName && *fileName != yoyaku.strFileName) {
    Tell("録画済みのファイルを残すため、残りを別の名前に録画します: " + *fileName);
  }
  return fileName;
}

bool CRecordingRunner::HasReachedItsEnd() const { return m_stopAtMs && Clock::NowMs() >= *m_stopAtMs; }

// The window behind goes on showing the capture that the runner records.
void CRecordingRunner::OnCaptureStarted(const CaptureProgress& progress) {
  if (m_listenerBehind) m_listenerBehind->OnCaptureStarted(progress);
}

void CRecordingRunner::OnCaptureProgress(const CaptureProgress& progress) {
  if (m_listenerBehind) m_listenerBehind->OnCaptureProgress(progress);
}

void CRecordingRunner::OnCaptureEnded() {
  if (m_listenerBehind) m_listenerBehind->OnCaptureEnded();
}

void CRecordingRunner::UpdateFrameCount(std::int32_t elapsedMs) {
  PassOnLeftoverReports();
  m_display.elapsedMs = elapsedMs;
  SetTexts(RunnerState::kRecording, "録画中 " + std::to_string(m_nFrames) + " frame", m_display.nextReservation);
  ++m_nFrames;
  ShowTexts();
}

void CRecordingRunner::OnCaptureFinished() {
  m_standbyDue = true;
  ShowWhatFollows();
}

void CRecordingRunner::ShowWhatFollows() {
  const std::int32_t following = m_iCurrent + 1;
  if (following < m_pDoc->GetYoyakuCount()) {
    SetTexts(RunnerState::kWaiting, kTextWaiting, m_pDoc->GetYoyaku(static_cast<std::size_t>(following)).GetListText());
  } else {
    SetTexts(RunnerState::kFinished, kTextFinished, "");
  }
  ShowTexts();
}

bool CRecordingRunner::Close() {
  if (m_bCapturing) {
    if (!m_closeRequested) Trace("D: CDlgRecStart: closes after this recording\n");
    m_closeRequested = true;
    return false;
  }
  m_closeRequested = false;
  // The count is read again at every step, as the schedule could only have shrunk.
  for (std::uint32_t id = 1; id <= static_cast<std::uint32_t>(m_pDoc->GetYoyakuCount()); ++id) {
    m_window.KillTimer(id);
  }
  m_waitingTimers.clear();
  m_dueTimers.clear();
  m_lateTimers.clear();
  // Every reservation that has started, recorded, failed or missed, leaves the schedule.
  m_pDoc->DeletePastYoyaku();
  if (m_sweep) m_sweep->Finish();
  PassOnLeftoverReports();
  Deactivate();
  m_sleepInhibitor.Release();
  return true;
}

bool CRecordingRunner::IsDueByWallClock(const SYoyaku& yoyaku) { return yoyaku.timeStart <= Clock::Now(); }

std::optional<std::uint32_t> CRecordingRunner::FirstWaitingDueByWallClock() const {
  std::optional<std::uint32_t> first;
  Time32 firstStart = 0;
  const auto count = static_cast<std::uint32_t>(m_pDoc->GetYoyakuCount());
  for (const std::uint32_t id : m_waitingTimers) {
    if (id == 0 || id > count) continue;
    const SYoyaku yoyaku = m_pDoc->GetYoyaku(id - 1);
    if (IsDueByWallClock(yoyaku) && (!first || yoyaku.timeStart < firstStart)) {
      first = id;
      firstStart = yoyaku.timeStart;
    }
  }
  return first;
}

void CRecordingRunner::OnWallClockTick() {
  PassOnLeftoverReports();
  // Timers that fell due during a capture are already queued for after it.
  if (m_bCapturing || m_pDoc == nullptr) return;
  // One start per tick: the window repaints and can close between two recordings.
  if (const auto due = FirstWaitingDueByWallClock()) OnTimer(*due);
}

void CRecordingRunner::SetTexts(RunnerState state, std::string activity, std::string nextReservation,
                                std::string failure) {
  m_display.state = state;
  m_display.activity = std::move(activity);
  m_display.nextReservation = std::move(nextReservation);
  m_display.failure = std::move(failure);
  m_display.recordSeconds = m_nRecordSeconds;
}

void CRecordingRunner::ShowTexts() {
  m_window.Show(m_display);
  HoldSleepWhileNeeded();
}

void CRecordingRunner::HoldSleepWhileNeeded() {
  // Every display passes here, so the sleep lock always names the reservation waited for or
  // recorded; it is taken again only when that changes. With nothing left to wait for (予約なし,
  // 終了, a failure of the last one) the machine may sleep.
  const bool needed = !m_waitingTimers.empty() || m_display.state == RunnerState::kStarting ||
                      m_display.state == RunnerState::kRecording;
  if (!needed) {
    m_sleepInhibitor.Release();
    return;
  }
  m_sleepInhibitor.Hold(m_display.nextReservation.empty() ? m_display.activity
                                                          : "録画予約 " + m_display.nextReservation);
}

std::optional<std::string> KickCaptureDevice(ParentWindowHandle parent, const std::string& fileName) {
  CVideoCap& cap = CVideoCap::GetInstance();
  if (!cap.WakeUp(parent)) return "キャプチャデバイスを準備できませんでした";
  // Without a name the controller would reuse the previous reservation's file and replace
  // that recording.
  if (fileName.empty()) {
    Trace("E: KickCaptureDevice() empty file name\n");
    return "予約に録画ファイルの名前がありません";
  }
  if (!cap.SetCaptureFileName(fileName)) return "録画ファイル " + fileName + " に書き込めませんでした";
  if (cap.Capture()) return std::nullopt;
  const auto outcome = cap.LastCaptureOutcome();
  return outcome ? DescribeFailure(*outcome) : "キャプチャを開始できませんでした";
}

}  // namespace tovalen
