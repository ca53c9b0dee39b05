#pragma once

#include <cstddef>
#include <vector>

#include "schedule/s_yoyaku.h"

namespace tovalen {

class CYoyakuSchedule;

// The reservation list's working copy: changes are checked against the other reservations
// and reach the schedule only through WriteBack.
class CYoyakuWorkingList {
public:
  CYoyakuWorkingList() = default;
  explicit CYoyakuWorkingList(const CYoyakuSchedule& schedule);

  // Adds the reservation unless its span overlaps another; false leaves the list unchanged.
  bool InsertYoyaku(const SYoyaku& yoyaku);
  // Replaces the reservation at index unless the new span overlaps one of the others (its own
  // old span does not count). False leaves the list unchanged. Throws std::out_of_range.
  bool ReplaceYoyaku(const SYoyaku& yoyaku, std::size_t index);
  // False when index is out of range.
  bool DeleteYoyaku(std::size_t index);
  void DeletePastYoyaku();

  // Clears the schedule and adds every reservation of this list.
  void WriteBack(CYoyakuSchedule& schedule) const;

  const std::vector<SYoyaku>& Items() const { return m_vecYoyaku; }
  std::size_t Count() const { return m_vecYoyaku.size(); }

private:
  bool OverlapsAnyExcept(const SYoyaku& yoyaku, std::size_t skipped_index) const;

  std::vector<SYoyaku> m_vecYoyaku;
};

// The message shown when an added or edited reservation overlaps another.
inline constexpr const char* kOverlapMessage = "時間帯が他の予約と重なっています";

}  // namespace tovalen
