#include "recording/late_start.h"

#include "platform/clock.h"

namespace tovalen {

std::int64_t SecondsUntilEnd(const SYoyaku& yoyaku, std::int64_t now) {
  return std::int64_t{yoyaku.timeStart} + yoyaku.spanDuration - now;
}

OpeningPurge PurgeAtOpening(CYoyakuSchedule& schedule, LateStart late) {
  const std::vector<SYoyaku> before = schedule.Items();
  schedule.DeletePastYoyaku();
  const std::size_t purged = before.size() - schedule.Items().size();
  if (purged == 0) return {};
  const std::int64_t now = Clock::Now();

  OpeningPurge result;
  std::vector<SYoyaku> kept;
  for (std::size_t i = 0; i < purged; ++i) {
    if (late == LateStart::kRecordRemainder && SecondsUntilEnd(before[i], now) >= kLateStartLeastRemainingSeconds) {
      kept.push_back(before[i]);
    } else {
      result.dropped.push_back(before[i]);
    }
  }
  if (kept.empty()) return result;
  result.lateCount = kept.size();
  // Those under way started before every one left, so start order puts them first.
  for (const SYoyaku& yoyaku : schedule.Items()) kept.push_back(yoyaku);
  schedule.ReplaceAll(std::move(kept));
  return result;
}

std::string DroppedReservationText(const SYoyaku& yoyaku, std::int64_t now) {
  return "開始時刻を " + std::to_string(now - yoyaku.timeStart) +
         " 秒過ぎた予約は録画しません: " + yoyaku.GetListText();
}

std::string LateReservationText(const SYoyaku& yoyaku, std::int64_t now) {
  return "開始済みの予約を " + std::to_string(now - yoyaku.timeStart) + " 秒遅れで録画します (残り " +
         std::to_string(SecondsUntilEnd(yoyaku, now)) + " 秒): " + yoyaku.GetListText();
}

}  // namespace tovalen
