#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>
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

// Calls `call` again while a signal interrupts it before it did anything (-1 with EINTR).
template <typename Call>
auto RetryOnInterrupt(Call call) {
  for (;;) {
    const auto rc = call();
    if (rc >= 0 || errno != EINTR) return rc;
  }
}

// Writes all `size` bytes, going on after short writes; false with errno set when some could
// not be written (ENOSPC when the file takes no more without saying why).
bool WriteAll(int fd, const void* data, std::size_t size);
// The same at `offset`, leaving the file offset alone.
bool WriteAllAt(int fd, const void* data, std::size_t size, off_t offset);

// The folder holding path, without trailing slashes: "." for a bare name, "/" in the root.
std::string FolderOf(const std::string& path);
// Flushes the folder holding path, so a rename or removal in it survives a power cut.
void SyncFolderOf(const std::string& path);

// Creates "<prefix>XXXXXX<suffix>" that did not exist, with the mode any new file gets (the
// umask applies; mkstemp would make it private). The descriptor (close-on-exec) and its name in
// `path`, or no descriptor with errno set.
FileDescriptor CreateUniqueFile(const std::string& prefix, const std::string& suffix, std::string& path);
// Whether a file name has the form CreateUniqueFile gives names: "<prefix>", six letters or
// digits, "<suffix>".
bool HasUniqueFileNameForm(std::string_view name, std::string_view prefix, std::string_view suffix);

}  // namespace tovalen
