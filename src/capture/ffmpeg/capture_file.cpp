#include "capture/ffmpeg/capture_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/posix_file.h"

namespace tovalen::ffmpeg {
namespace {

bool CopyBytes(int from, int to, int& error) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = RetryOnInterrupt([&] { return ::read(from, buffer.data(), buffer.size()); });
    if (n == 0) return true;
    if (n < 0 || !WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) {
      error = errno;
      return false;
    }
  }
}

}  // namespace

std::unique_ptr<CaptureFile> CaptureFile::CreateBeside(const std::string& target, int& error) {
  const std::filesystem::path targetPath(target);
  std::string prefix = (targetPath.parent_path() / targetPath.stem()).string();
  if (targetPath.parent_path().empty()) prefix = "./" + prefix;
  std::string path;
  FileDescriptor fd = CreateUniqueFile(prefix + ".recording-", ".avi", path);
  if (fd.get() < 0) {
    error = errno;
    return nullptr;
  }
  // Blocks only while a recovery looks at the new, empty file.
  FileDescriptor lock(::flock(fd.get(), LOCK_EX) == 0 ? ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0) : -1);
  return std::unique_ptr<CaptureFile>(new CaptureFile(std::move(fd), std::move(lock), path));
}

CaptureFile::~CaptureFile() {
  Close();
  if (!m_recorded && !m_saved) ::unlink(m_path.c_str());
}

bool CaptureFile::Preallocate(std::uint64_t bytes, int& error) {
  // Reserving beyond the end keeps the size at what was written, so a process that is killed
  // leaves no stretch of zeros after the last packet.
  if (::fallocate(m_fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) {
    error = errno;
    return false;
  }
  error = ::posix_fallocate(m_fd.get(), 0, static_cast<off_t>(bytes));
  return error == 0;
}

bool CaptureFile::Close() { return m_fd.get() < 0 || m_fd.Close() == 0; }

bool CaptureFile::SaveAs(const std::string& target, int& error) {
  if (m_fd.get() >= 0) {
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
  if (name.size() <= kMiddle.size() + letters + kEnd.size()) return "";
  const std::size_t middle = name.size() - kEnd.size() - letters - kMiddle.size();
  const std::string_view prefix = std::string_view(name).substr(0, middle + kMiddle.size());
  if (!prefix.ends_with(kMiddle) || !HasUniqueFileNameForm(name, prefix, kEnd)) return "";
  return (file.parent_path() / (name.substr(0, middle) + ".avi")).string();
}

bool CopyOver(const std::string& source, const std::string& target, int& error) {
  error = 0;
  const FileDescriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.get() < 0) {
    error = errno;
    return false;
  }
  ScratchFile to(FolderOf(target) + "/.tovalen-copy-");
  if (!to.Valid()) {
    error = errno;
    return false;
  }
  if (!CopyBytes(from.get(), to.Fd(), error) || ::fsync(to.Fd()) != 0 ||
      ::rename(to.Path().c_str(), target.c_str()) != 0) {
    if (error == 0) error = errno;
    return false;
  }
  to.Keep();
  SyncFolderOf(target);
  return true;
}

}  // namespace tovalen::ffmpeg
