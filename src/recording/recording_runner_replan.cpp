#include <algorithm>

#include "capture/video_cap.h"
#include "platform/trace.h"
#include "recording/recording_runner.h"

namespace tovalen {
namespace {

bool HasStart(const std::vector<SYoyaku>& reservations, Time32 start) {
  return std::any_of(reservations.begin(), reservations.end(),
                     [start](const SYoyaku& yoyaku) { return yoyaku.timeStart == start; });
}

}  // namespace

void CRecordingRunner::Replan(std::vector<SYoyaku> reservations) {
  // Started reservations leave the plan only when the runner closes, so the old plan tells
  // what has run (recorded or failed) and what still waits, even a start passed a moment ago.
  std::vector<SYoyaku> started;
  std::vector<SYoyaku> waiting;
  for (std::int32_t i = 0; i < m_pDoc->GetYoyakuCount(); ++i) {
    const bool isWaiting = m_waitingTimers.count(static_cast<std::uint32_t>(i) + 1) != 0;
    (isWaiting ? waiting : started).push_back(m_pDoc->GetYoyaku(static_cast<std::size_t>(i)));
    m_window.KillTimer(static_cast<std::uint32_t>(i) + 1);
  }
  m_waitingTimers.clear();
  m_dueTimers.clear();

  std::erase_if(reservations, [&](const SYoyaku& yoyaku) {
    return HasStart(started, yoyaku.timeStart) || (yoyaku.IsPast() && !HasStart(waiting, yoyaku.timeStart));
  });
  m_pDoc->ReplaceAll(std::move(reservations));
  const std::int32_t count = m_pDoc->GetYoyakuCount();
  Trace("D: CRecordingRunner::Replan() " + std::to_string(count) + "件\n");
  for (std::int32_t i = 0; i < count; ++i) {
    m_waitingTimers.insert(static_cast<std::uint32_t>(i) + 1);
    ArmReservationTimer(i, m_pDoc->GetYoyaku(static_cast<std::size_t>(i)).timeStart);
  }
  // The device on standby and what is shown next, as after a recording.
  m_iCurrent = -1;
  CVideoCap::GetInstance().Standby();
  ShowWhatFollows();
}

}  // namespace tovalen
