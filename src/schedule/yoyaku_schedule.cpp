#include "schedule/yoyaku_schedule.h"

#include <algorithm>
#include <stdexcept>

namespace tovalen {

void RemoveThroughLastPast(std::vector<SYoyaku>& reservations) {
  for (std::size_t i = reservations.size(); i-- > 0;) {
    if (reservations[i].IsPast()) {
      reservations.erase(reservations.begin(), reservations.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      return;
    }
  }
}

void InsertInStartOrder(std::vector<SYoyaku>& reservations, const SYoyaku& yoyaku) {
  const auto position = std::upper_bound(reservations.begin(), reservations.end(), yoyaku, IsEarlierStart);
  reservations.insert(position, yoyaku);
}

bool CYoyakuSchedule::AddYoyaku(const SYoyaku& yoyaku) {
  InsertInStartOrder(m_vecYoyaku, yoyaku);
  return true;
}

bool CYoyakuSchedule::DeletePastYoyaku() {
  RemoveThroughLastPast(m_vecYoyaku);
  return true;
}

bool CYoyakuSchedule::ClearYoyaku() {
  m_vecYoyaku.clear();
  return true;
}

std::int32_t CYoyakuSchedule::GetYoyakuCount() const { return static_cast<std::int32_t>(m_vecYoyaku.size()); }

SYoyaku CYoyakuSchedule::GetYoyaku(std::size_t index) const {
  if (index >= m_vecYoyaku.size()) throw std::out_of_range("invalid vector<T> subscript");
  return m_vecYoyaku[index];
}

void CYoyakuSchedule::ReplaceAll(std::vector<SYoyaku> reservations) {
  std::stable_sort(reservations.begin(), reservations.end(), IsEarlierStart);
  m_vecYoyaku = std::move(reservations);
}

}  // namespace tovalen
