#pragma once

#include <cstdint>
#include <string>

#include "platform/local_time.h"

namespace tovalen {

// What the reservation editor's OK finds wrong with a start and end, checked in this order.
enum class YoyakuTimeProblem {
  kNone,
  kStartInPast,     // start earlier than the current second
  kBeyondStorable,  // start or end after 2038-01-19 03:14:07 UTC: the file cannot hold it
  kEndNotAfterStart,
};

// start and end are seconds since the epoch (64-bit, so a date past 2038 is seen as such).
YoyakuTimeProblem CheckYoyakuTimes(std::int64_t start, std::int64_t end, std::int64_t now);

// The message the editor shows for a problem; empty for kNone.
std::string YoyakuTimeProblemMessage(YoyakuTimeProblem problem);

// The editor's label for a composed time: "2026年 12月 07日 09時 05分  3秒".
std::string FormatEditorLabel(const LocalDateTime& when);

}  // namespace tovalen
