#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "schedule/yoyaku_schedule.h"

namespace tovalen {

// What the runner does at opening with a reservation already under way.
enum class LateStart {
  kDrop,             // dropped with every other reservation whose start has passed
  kRecordRemainder,  // started at once, recording until its own end
};

// A reservation under way is recorded only when at least this much of it is left.
inline constexpr std::int64_t kLateStartLeastRemainingSeconds = 5;

// The reservations whose start has passed, as opening the runner leaves them.
struct OpeningPurge {
  std::vector<SYoyaku> dropped;  // removed from the schedule, in start order
  std::size_t lateCount = 0;     // the schedule's first so many are under way and start at once
};

// Removes the reservations whose start has passed, except, with kRecordRemainder, those whose end
// lies at least 5 s ahead, which stay at the head of the schedule. Reads the clock.
OpeningPurge PurgeAtOpening(CYoyakuSchedule& schedule, LateStart late);

// The line telling the user that a reservation is not recorded: how long ago it started.
std::string DroppedReservationText(const SYoyaku& yoyaku, std::int64_t now);
// The line telling the user that a reservation starts late: by how much, and what is left.
std::string LateReservationText(const SYoyaku& yoyaku, std::int64_t now);

// The seconds left until the reservation's end (its end as start + length, without wrapping).
std::int64_t SecondsUntilEnd(const SYoyaku& yoyaku, std::int64_t now);

}  // namespace tovalen
