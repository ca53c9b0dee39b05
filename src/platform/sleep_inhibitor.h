#pragma once

#include <optional>
#include <string>

#include "platform/posix_file.h"

namespace tovalen {

// Keeps the machine from going to sleep while it is held, through a systemd-logind inhibitor lock
// on the system bus. Where logind cannot be reached, that is traced once and the program carries
// on without the lock.
class SleepInhibitor {
 public:
  SleepInhibitor() = default;
  ~SleepInhibitor() { Release(); }
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // Holds a lock that gives `why` as its reason. A new reason takes a new lock before the old one
  // is released, so the machine is never left free between the two.
  void Hold(const std::string& why);
  // Releases the lock, if one is held.
  void Release();
  bool IsHeld() const { return m_fd.get() >= 0; }

 private:
  std::optional<std::string> m_why;  // of the lock held or last asked for
  // The lock: logind keeps it until every copy of this descriptor is closed.
  FileDescriptor m_fd;
  bool m_unreachableTraced = false;
};

}  // namespace tovalen
