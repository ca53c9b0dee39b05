#pragma once

#include <unistd.h>

#include <utility>

namespace tovalen {

// Owns a file descriptor and closes it when the scope ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return m_fd; }
  // Closes now and reports the result, since close can report a delayed write error.
  int Close() { return ::close(std::exchange(m_fd, -1)); }

 private:
  int m_fd;
};

}  // namespace tovalen
