#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "schedule/s_yoyaku.h"

namespace tovalen {

// The document's reservations, always in start-time order (equal starts keep their order).
class CYoyakuSchedule {
 public:
  // Inserts a copy after every reservation that starts no later. Always true.
  bool AddYoyaku(const SYoyaku& yoyaku);
  // Removes every reservation up to the last one whose start has passed. Always true.
  bool DeletePastYoyaku();
  bool ClearYoyaku();
  std::int32_t GetYoyakuCount() const;
  // A copy of the reservation; throws std::out_of_range("invalid vector<T> subscript").
  SYoyaku GetYoyaku(std::size_t index) const;

  // Replaces the whole list (a loaded file), sorting it by start time, stable.
  void ReplaceAll(std::vector<SYoyaku> reservations);
  const std::vector<SYoyaku>& Items() const { return m_vecYoyaku; }

 private:
  std::vector<SYoyaku> m_vecYoyaku;
};

// Removes the last past reservation in list order and every one before it; on a list in
// start-time order that is exactly the reservations whose start has passed.
void RemoveThroughLastPast(std::vector<SYoyaku>& reservations);

// Inserts keeping start-time order; a reservation goes after those with the same start.
void InsertInStartOrder(std::vector<SYoyaku>& reservations, const SYoyaku& yoyaku);

}  // namespace tovalen
