#include "capture/ffmpeg/capture_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>
#include <vector>

namespace tovalen::ffmpeg {
namespace {

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

}  // namespace

// Creates "<prefix>XXXXXX<suffix>" that did not exist, with the mode any new file gets (mkstemp
// would make it private, and reading the umask means changing it for every thread); the
// descriptor, or -1 with errno set.
int CreateUniqueFile(const std::string& prefix, const std::string& suffix, std::string& path) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
    name += suffix;
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) path = std::move(name);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;  // errno is EEXIST
}

void SyncFolderOf(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

namespace {

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
  std::string prefix = (targetPath.parent_path() / targetPath.stem()).string();
  if (targetPath.parent_path().empty()) prefix = "./" + prefix;
  std::string path;
  const int fd = CreateUniqueFile(prefix + ".recording-", ".avi", path);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  // Blocks only while a recovery looks at the new, empty file.
  const int lock = ::flock(fd, LOCK_EX) == 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
  return std::unique_ptr<CaptureFile>(new CaptureFile(fd, lock, path));
}

CaptureFile::~CaptureFile() {
  Close();
  if (!m_recorded && !m_saved) ::unlink(m_path.c_str());
  if (m_lock >= 0) ::close(m_lock);
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

std::string LeftoverTarget(const std::string& path) {
  static constexpr std::string_view kMiddle = ".recording-";
  static constexpr std::string_view kEnd = ".avi";
  const std::filesystem::path file(path);
  const std::string name = file.filename().string();
  const std::size_t letters = 6;
  if (name.size() <= kMiddle.size() + letters + kEnd.size() || !name.ends_with(kEnd)) return "";
  const std::size_t middle = name.size() - kEnd.size() - letters - kMiddle.size();
  if (name.compare(middle, kMiddle.size(), kMiddle) != 0) return "";
  for (std::size_t i = middle + kMiddle.size(); i < name.size() - kEnd.size(); ++i) {
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return "";
  }
  return (file.parent_path() / (name.substr(0, middle) + ".avi")).string();
}

bool CopyOver(const std::string& source, const std::string& target, int& error) {
  error = 0;
  Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.get() < 0) {
    error = errno;
    return false;
  }
  std::string temp;
  Descriptor to(CreateUniqueFile((std::filesystem::path(FolderOf(target)) / ".tovalen-copy-").string(), "", temp));
  if (to.get() < 0) {
    error = errno;
    return false;
  }
  if (!CopyBytes(from.get(), to.get(), error) || ::fsync(to.get()) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
    if (error == 0) error = errno;
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolderOf(target);
  return true;
}

}  // namespace tovalen::ffmpeg
