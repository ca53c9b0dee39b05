#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tovalen::web {

struct Session {
  std::string id;
  std::string csrfToken;
  bool loggedIn = false;
};

// The sessions of the web interface, by the id their cookie carries; any thread.
class SessionStore {
 public:
  using Clock = std::chrono::steady_clock;

  // A new session, logged in from the start when no password is needed.
  Session Create(bool loggedIn);
  std::optional<Session> Find(const std::string& id);
  void End(const std::string& id);

  // Sessions unused for this long end; at most kMostSessions are kept (the least used go).
  static constexpr std::chrono::hours kIdleLife{12};
  static constexpr std::size_t kMostSessions = 1000;

 private:
  struct Entry {
    Session session;
    Clock::time_point used;
  };
  std::mutex m_mutex;
  std::map<std::string, Entry> m_sessions;
};

// Wrong passwords counted by address: after five, that address waits before the next try, and
// each further failure doubles the wait.
class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  // How long the address must still wait, or nothing when it may try now.
  std::optional<std::chrono::seconds> WaitFor(const std::string& address, Clock::time_point now = Clock::now());
  void Failed(const std::string& address, Clock::time_point now = Clock::now());
  void Succeeded(const std::string& address);

  static constexpr int kFreeTries = 5;
  static constexpr std::chrono::seconds kFirstWait{30};
  static constexpr std::chrono::seconds kLongestWait{3600};
  static constexpr std::size_t kMostAddresses = 10000;

 private:
  struct Entry {
    int failures = 0;
    Clock::time_point until{};
  };
  std::mutex m_mutex;
  std::map<std::string, Entry> m_addresses;
};

// Equal texts, compared in constant time for their length.
bool TokensEqual(const std::string& a, const std::string& b);

}  // namespace tovalen::web
