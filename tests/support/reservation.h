#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "schedule/s_yoyaku.h"

namespace tovalen::testing {

// A reservation from `start` for `length` seconds; title and file as a new one has them unless given.
inline SYoyaku Reservation(std::int64_t start, Span32 length, std::string title = kDefaultYoyakuTitle,
                           std::string file = kDefaultYoyakuFileName) {
  SYoyaku yoyaku;
  yoyaku.timeStart = static_cast<Time32>(start);
  yoyaku.spanDuration = length;
  yoyaku.strTitle = std::move(title);
  yoyaku.strFileName = std::move(file);
  return yoyaku;
}

}  // namespace tovalen::testing
