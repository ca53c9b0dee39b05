#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// The titles of the reservations, in their order.
inline std::vector<std::string> Titles(const std::vector<SYoyaku>& reservations) {
  std::vector<std::string> titles;
  for (const SYoyaku& yoyaku : reservations) titles.push_back(yoyaku.strTitle);
  return titles;
}

}  // namespace tovalen::testing
