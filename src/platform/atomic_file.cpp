#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tovalen {
namespace {

// Closes a descriptor when the scope ends unless released.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  // Closes now and reports the result, since close can report a delayed write error.
  int Close() {
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc;
  }

private:
  int m_fd;
};

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a newly created file would get, or the existing file's mode.
mode_t ModeForTarget(const std::string& path) {
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

std::string DescribeFileFailure(std::string_view what, const std::string& path, int error_number) {
  return std::string(what) + " " + path + ": " + std::strerror(error_number);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temp_path = DirectoryOf(path) + "/." + BaseNameOf(path) + ".XXXXXX";
  std::vector<char> temp_template(temp_path.begin(), temp_path.end());
  temp_template.push_back('\0');
  FileDescriptor fd(::mkstemp(temp_template.data()));
  if (fd.get() < 0) throw FileError(DescribeFileFailure("cannot write", path, errno));
  temp_path = temp_template.data();

  auto fail = [&](int error_number) {
    ::unlink(temp_path.c_str());
    throw FileError(DescribeFileFailure("cannot write", path, error_number));
  };
  if (::fchmod(fd.get(), ModeForTarget(path)) != 0) fail(errno);
  if (!WriteAll(fd.get(), bytes)) fail(errno);
  if (::fsync(fd.get()) != 0) fail(errno);
  if (fd.Close() != 0) fail(errno);
  if (::rename(temp_path.c_str(), path.c_str()) != 0) fail(errno);
}

std::string ReadWholeFile(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw FileError(DescribeFileFailure("cannot open", path, errno));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw FileError(DescribeFileFailure("cannot read", path, errno));
  if (!S_ISREG(info.st_mode)) throw FileError("cannot open " + path + ": not a regular file");
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileError(DescribeFileFailure("cannot read", path, errno));
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  return content;
}

}  // namespace tovalen
