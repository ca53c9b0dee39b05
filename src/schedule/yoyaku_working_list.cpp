#include "schedule/yoyaku_working_list.h"

#include <stdexcept>

#include "schedule/yoyaku_schedule.h"

namespace tovalen {

CYoyakuWorkingList::CYoyakuWorkingList(const CYoyakuSchedule& schedule) : m_vecYoyaku(schedule.Items()) {}

bool CYoyakuWorkingList::OverlapsAnyExcept(const SYoyaku& yoyaku, std::size_t skipped_index) const {
  for (std::size_t i = 0; i < m_vecYoyaku.size(); ++i) {
    if (i != skipped_index && m_vecYoyaku[i].IsOverlapped(yoyaku)) return true;
  }
  return false;
}

bool CYoyakuWorkingList::InsertYoyaku(const SYoyaku& yoyaku) {
  if (OverlapsAnyExcept(yoyaku, m_vecYoyaku.size())) return false;
  InsertInStartOrder(m_vecYoyaku, yoyaku);
  return true;
}

bool CYoyakuWorkingList::ReplaceYoyaku(const SYoyaku& yoyaku, std::size_t index) {
  if (index >= m_vecYoyaku.size()) throw std::out_of_range("invalid vector<T> subscript");
  if (OverlapsAnyExcept(yoyaku, index)) return false;
  m_vecYoyaku.erase(m_vecYoyaku.begin() + static_cast<std::ptrdiff_t>(index));
  InsertInStartOrder(m_vecYoyaku, yoyaku);
  return true;
}

std::optional<YoyakuClash> CYoyakuWorkingList::InsertAll(const std::vector<SYoyaku>& added,
                                                         std::optional<std::size_t> replaced) {
  if (replaced && *replaced >= m_vecYoyaku.size()) throw std::out_of_range("invalid vector<T> subscript");
  const std::size_t skipped = replaced.value_or(m_vecYoyaku.size());
  for (auto it = added.begin(); it != added.end(); ++it) {
    for (std::size_t i = 0; i < m_vecYoyaku.size(); ++i) {
      if (i != skipped && m_vecYoyaku[i].IsOverlapped(*it)) return YoyakuClash{*it, m_vecYoyaku[i]};
    }
    for (auto earlier = added.begin(); earlier != it; ++earlier) {
      if (earlier->IsOverlapped(*it)) return YoyakuClash{*it, *earlier};
    }
  }
  if (replaced) m_vecYoyaku.erase(m_vecYoyaku.begin() + static_cast<std::ptrdiff_t>(*replaced));
  for (const SYoyaku& yoyaku : added) InsertInStartOrder(m_vecYoyaku, yoyaku);
  return std::nullopt;
}

bool CYoyakuWorkingList::DeleteYoyaku(std::size_t index) {
  if (index >= m_vecYoyaku.size()) return false;
  m_vecYoyaku.erase(m_vecYoyaku.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

void CYoyakuWorkingList::DeletePastYoyaku() { RemoveThroughLastPast(m_vecYoyaku); }

void CYoyakuWorkingList::WriteBack(CYoyakuSchedule& schedule) const {
  schedule.ClearYoyaku();
  for (const SYoyaku& yoyaku : m_vecYoyaku) schedule.AddYoyaku(yoyaku);
}

}  // namespace tovalen
