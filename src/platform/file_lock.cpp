#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <thread>

#include "platform/atomic_file.h"

namespace tovalen {
namespace {

bool SameFile(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

}  // namespace

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
  constexpr std::chrono::milliseconds kPoll{20};
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    // Non-blocking, so that a FIFO at path cannot hold us up; the reader refuses it later.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return;  // nothing to lock; reading the file reports why
    if (RetryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) == 0) {
      if (SameFile(fd.get(), path)) {
        m_fd = std::move(fd);
        return;
      }
      continue;  // replaced while we waited: lock the new file
    }
    if (errno != EWOULDBLOCK) return;  // a file system without locks
    if (std::chrono::steady_clock::now() >= deadline) {
      throw FileError("cannot change " + path + ": another program is changing it; try again later");
    }
    std::this_thread::sleep_for(kPoll);
  }
}

}  // namespace tovalen
