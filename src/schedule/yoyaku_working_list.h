#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "schedule/s_yoyaku.h"

namespace tovalen {

class CYoyakuSchedule;

// The first overlap met when several reservations are added together.
struct YoyakuClash {
  SYoyaku added;  // the reservation being added
  SYoyaku other;  // a reservation of the list, or one added before it
};

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
  // Adds all of them, or none when one overlaps a reservation of the list or another of them;
  // then the first clash in their order is returned. With `replaced`, that reservation makes
  // way for them (its old span does not count). Throws std::out_of_range for a bad index.
  std::optional<YoyakuClash> InsertAll(const std::vector<SYoyaku>& added,
                                       std::optional<std::size_t> replaced = std::nullopt);
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
