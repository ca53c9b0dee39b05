#pragma once

#include <chrono>
#include <string>

#include "platform/posix_file.h"

namespace tovalen {

// An advisory lock (flock) on the file at path, held for the object's life, so that two
// programs changing the same file take turns. Saves rename a new file over the old one, so a
// lock won on a file that was replaced meanwhile is let go and taken again on the new file.
// When there is no file at path, or it cannot be opened or locked, nothing is locked.
class FileLock {
 public:
  // Waits up to `wait` for the lock; throws FileError when it stays taken.
  FileLock(const std::string& path, std::chrono::milliseconds wait);

  bool Holds() const { return m_fd.get() >= 0; }

 private:
  FileDescriptor m_fd;
};

}  // namespace tovalen
