#include "capture/ffmpeg/capture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace tovalen::ffmpeg {
namespace {

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// A file made by mkstemp is private to its owner; a recording gets a new file's usual mode.
void GiveUsualMode(int fd) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
}

void SyncFolderOf(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool CopyBytes(int from, int to, int& error) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      return false;
    }
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        error = errno;
        return false;
      }
      done += w;
    }
  }
}

// A descriptor closed with the scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

}  // namespace

std::unique_ptr<CaptureFile> CaptureFile::CreateBeside(const std::string& target, int& error) {
  const std::filesystem::path targetPath(target);
  std::string name = (targetPath.parent_path() / targetPath.stem()).string();
  if (targetPath.parent_path().empty()) name = "./" + name;
  name += ".recording-XXXXXX.avi";
  const int fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  GiveUsualMode(fd);
  return std::unique_ptr<CaptureFile>(new CaptureFile(fd, name));
}

CaptureFile::~CaptureFile() {
  Close();
  if (!m_recorded && !m_saved) ::unlink(m_path.c_str());
}

bool CaptureFile::Preallocate(std::uint64_t bytes, int& error) {
  // Reserving beyond the end keeps the size at what was written, so a process that is killed
  // leaves no stretch of zeros after the last packet.
  if (::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) {
    error = errno;
    return false;
  }
  error = ::posix_fallocate(m_fd, 0, static_cast<off_t>(bytes));
  return error == 0;
}

bool CaptureFile::Close() {
  if (m_fd < 0) return true;
  const int rc = ::close(m_fd);
  m_fd = -1;
  return rc == 0;
}

bool CaptureFile::SaveAs(const std::string& target, int& error) {
  if (m_fd >= 0) {
    error = EBUSY;
    return false;
  }
  if (m_saved) return m_path == target || CopyOver(m_path, target, error);
  if (::rename(m_path.c_str(), target.c_str()) == 0) {
    SyncFolderOf(target);
  } else {
    if (errno != EXDEV) {
      error = errno;
      return false;
    }
    if (!CopyOver(m_path, target, error)) return false;
    ::unlink(m_path.c_str());
  }
  m_path = target;
  m_saved = true;
  return true;
}

bool CopyOver(const std::string& source, const std::string& target, int& error) {
  error = 0;
  Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.get() < 0) {
    error = errno;
    return false;
  }
  std::string temp = (std::filesystem::path(FolderOf(target)) / ".tovalen-copy-XXXXXX").string();
  Descriptor to(::mkostemp(temp.data(), O_CLOEXEC));
  if (to.get() < 0) {
    error = errno;
    return false;
  }
  GiveUsualMode(to.get());
  if (!CopyBytes(from.get(), to.get(), error) || ::fsync(to.get()) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
    if (error == 0) error = errno;
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolderOf(target);
  return true;
}

}  // namespace tovalen::ffmpeg
