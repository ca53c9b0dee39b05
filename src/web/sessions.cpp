#include "web/sessions.h"

#include <sodium.h>

#include <algorithm>

#include "web/password_file.h"

namespace tovalen::web {

Session SessionStore::Create(bool loggedIn) {
  Session session{RandomToken(), RandomToken(), loggedIn};
  const auto now = Clock::now();
  std::lock_guard lock(m_mutex);
  std::erase_if(m_sessions, [now](const auto& entry) { return now - entry.second.used > kIdleLife; });
  if (m_sessions.size() >= kMostSessions) {
    const auto oldest = std::min_element(m_sessions.begin(), m_sessions.end(),
                                         [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
    m_sessions.erase(oldest);
  }
  m_sessions[session.id] = Entry{session, now};
  return session;
}

std::optional<Session> SessionStore::Find(const std::string& id) {
  std::lock_guard lock(m_mutex);
  const auto found = m_sessions.find(id);
  if (found == m_sessions.end()) return std::nullopt;
  const auto now = Clock::now();
  if (now - found->second.used > kIdleLife) {
    m_sessions.erase(found);
    return std::nullopt;
  }
  found->second.used = now;
  return found->second.session;
}

void SessionStore::End(const std::string& id) {
  std::lock_guard lock(m_mutex);
  m_sessions.erase(id);
}

std::optional<std::chrono::seconds> LoginThrottle::WaitFor(const std::string& address, Clock::time_point now) {
  std::lock_guard lock(m_mutex);
  const auto found = m_addresses.find(address);
  if (found == m_addresses.end() || found->second.until <= now) return std::nullopt;
  return std::chrono::ceil<std::chrono::seconds>(found->second.until - now);
}

void LoginThrottle::Failed(const std::string& address, Clock::time_point now) {
  std::lock_guard lock(m_mutex);
  if (m_addresses.size() >= kMostAddresses && !m_addresses.contains(address)) {
    std::erase_if(m_addresses, [now](const auto& entry) { return entry.second.until <= now; });
  }
  Entry& entry = m_addresses[address];
  if (++entry.failures < kFreeTries) return;
  const int doublings = std::min(entry.failures - kFreeTries, 7);
  entry.until = now + std::min<std::chrono::seconds>(kFirstWait * (1 << doublings), kLongestWait);
}

void LoginThrottle::Succeeded(const std::string& address) {
  std::lock_guard lock(m_mutex);
  m_addresses.erase(address);
}

bool TokensEqual(const std::string& a, const std::string& b) {
  return a.size() == b.size() && !a.empty() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace tovalen::web
