#include "capture/ffmpeg/recovery_scratch.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace tovalen::ffmpeg {
namespace {

constexpr int kMostRecoveredNames = 999;
constexpr char kMark[] = "user.tovalen.recovery-scratch";

std::string Candidate(const std::string& target, int n) {
  if (n == 0) return target;
  const std::filesystem::path path(target);
  const std::string suffix = n == 1 ? " (recovered)" : " (recovered " + std::to_string(n) + ")";
  return (path.parent_path() / (path.stem().string() + suffix + path.extension().string())).string();
}

std::string ScratchPrefix(const std::string& target) {
  return std::filesystem::path(target).replace_extension().string() + ".recovering-";
}

// Renames without replacing what is there; a hard link where the file system cannot do that.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace

template <typename Place>
std::string TakeFreeName(const std::string& target, Place place, int& error) {
  for (int n = 0; n <= kMostRecoveredNames; ++n) {
    const std::string name = Candidate(target, n);
    error = place(name);
    if (error == 0) return name;
    if (error != EEXIST) return "";
  }
  return "";
}

std::string RenameToFreeName(const std::string& from, const std::string& target, int& error) {
  return TakeFreeName(
      target, [&from](const std::string& name) { return RenameNoReplace(from, name); }, error);
}

RecoveryScratch::RecoveryScratch(const std::string& target) : m_target(target) {
  m_fd = FileDescriptor(::open(FolderOf(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
  if (m_fd.get() >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != ENOENT)) return;
  m_fd = CreateUniqueFile(ScratchPrefix(target), ".avi", m_path);
  if (m_fd.get() < 0) return;
  // Marked and locked, so that a later recovery removes it only if this one was killed.
  ::fsetxattr(m_fd.get(), kMark, "1", 1, 0);
  ::flock(m_fd.get(), LOCK_EX);
}

RecoveryScratch::~RecoveryScratch() {
  m_fd = FileDescriptor();
  if (!m_path.empty()) ::unlink(m_path.c_str());
}

std::string RecoveryScratch::Place(int& error) {
  std::string placed;
  if (m_path.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
    placed = TakeFreeName(
        m_target,
        [&self](const std::string& name) {
          return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
        },
        error);
  } else {
    placed = RenameToFreeName(m_path, m_target, error);
    if (!placed.empty()) m_path.clear();
  }
  if (!placed.empty()) SyncFolderOf(placed);
  return placed;
}

void RecoveryScratch::RemoveStale(const std::string& target) {
  namespace fs = std::filesystem;
  const std::string prefix = fs::path(ScratchPrefix(target)).filename().string();
  std::error_code error;
  for (fs::directory_iterator it(FolderOf(target), error), end; !error && it != end; it.increment(error)) {
    if (!HasUniqueFileNameForm(it->path().filename().string(), prefix, ".avi")) continue;
    const FileDescriptor file(::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    char mark = 0;
    if (file.get() < 0 || ::fgetxattr(file.get(), kMark, &mark, 1) != 1) continue;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) ::unlink(it->path().c_str());
  }
}

}  // namespace tovalen::ffmpeg
