#include "capture/ffmpeg/recovery_scratch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "capture/ffmpeg/stream_copy_container.h"
#include "platform/posix_file.h"

namespace tovalen::ffmpeg {
namespace {

constexpr int kMostRecoveredNames = 999;
constexpr char kMark[] = "user.tovalen.recovery-scratch";

// "<name>.avi", "<name> (recovered).avi", "<name> (recovered 2).avi"...
std::string RecoveredName(const std::string& target, int n) {
  if (n == 0) return target;
  const std::filesystem::path path(target);
  const std::string suffix = n == 1 ? " (recovered)" : " (recovered " + std::to_string(n) + ")";
  return (path.parent_path() / (path.stem().string() + suffix + path.extension().string())).string();
}

// The target's own for a stream's copy, AVI otherwise.
std::string ScratchSuffix(const std::string& target) {
  return CopyContainerFor(target) ? std::filesystem::path(target).extension().string() : ".avi";
}

std::string ScratchPrefix(const std::string& target) {
  return std::filesystem::path(target).replace_extension().string() + ".recovering-";
}

}  // namespace

Result<std::string> RenameToFreeName(const std::string& from, const std::string& target) {
  std::string placed = tovalen::RenameToFreeName(
      from, [&target](int n) { return RecoveredName(target, n); }, kMostRecoveredNames);
  if (placed.empty()) return SystemRefused(StopReason::kWriteFailed, "cannot rename " + from, errno);
  return placed;
}

Result<RecoveryScratch> RecoveryScratch::Create(const std::string& target) {
  FileBesideTarget file = FileBesideTarget::NamelessIn(FolderOf(target), ScratchPrefix(target), ScratchSuffix(target));
  if (!file.Valid()) return SystemRefused(StopReason::kWriteFailed, "cannot write beside it", errno);
  if (!file.Path().empty()) {
    // Marked and locked, so that a later recovery removes it only if this one was killed.
    ::fsetxattr(file.Fd(), kMark, "1", 1, 0);
    ::flock(file.Fd(), LOCK_EX);
  }
  return RecoveryScratch(target, std::move(file));
}

Result<std::string> RecoveryScratch::Place() {
  std::string placed = m_file.TakeFreeName([this](int n) { return RecoveredName(m_target, n); }, kMostRecoveredNames);
  if (placed.empty()) return SystemRefused(StopReason::kWriteFailed, "cannot name the rebuilt file", errno);
  SyncFolderOf(placed);
  return placed;
}

void RecoveryScratch::RemoveStale(const std::string& target) {
  namespace fs = std::filesystem;
  const std::string prefix = fs::path(ScratchPrefix(target)).filename().string();
  std::error_code error;
  for (fs::directory_iterator it(FolderOf(target), error), end; !error && it != end; it.increment(error)) {
    if (!HasUniqueFileNameForm(it->path().filename().string(), prefix, ScratchSuffix(target))) continue;
    const FileDescriptor file(::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    char mark = 0;
    if (file.get() < 0 || ::fgetxattr(file.get(), kMark, &mark, 1) != 1) continue;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) ::unlink(it->path().c_str());
  }
}

}  // namespace tovalen::ffmpeg
