#include "capture/ffmpeg/capture_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "capture/ffmpeg/stream_copy_container.h"
#include "platform/posix_file.h"
#include "platform/system_error_text.h"

namespace tovalen::ffmpeg {

Result<std::unique_ptr<CaptureFile>> CaptureFile::CreateBeside(const std::string& target) {
  const std::filesystem::path targetPath(target);
  std::string prefix = (targetPath.parent_path() / targetPath.stem()).string();
  if (targetPath.parent_path().empty()) prefix = "./" + prefix;
  // A stream's copy keeps the target's extension, so that its recovery knows the container.
  const std::string suffix = CopyContainerFor(target) ? targetPath.extension().string() : ".avi";
  FileBesideTarget file(prefix + ".recording-", suffix);
  if (!file.Valid()) return SystemRefused(StopReason::kWriteFailed, "cannot create a file beside " + target, errno);
  // Blocks only while a recovery looks at the new, empty file.
  FileDescriptor lock(::flock(file.Fd(), LOCK_EX) == 0 ? ::fcntl(file.Fd(), F_DUPFD_CLOEXEC, 0) : -1);
  return std::unique_ptr<CaptureFile>(new CaptureFile(std::move(file), std::move(lock)));
}

CaptureFile::~CaptureFile() { Close(); }

Result<> CaptureFile::Preallocate(std::uint64_t bytes) {
  const auto refused = [bytes](int error) {
    return SystemRefused(StopReason::kWriteFailed, "cannot reserve " + std::to_string(bytes) + " bytes", error);
  };
  // Reserving beyond the end keeps the size at what was written, so a process that is killed
  // leaves no stretch of zeros after the last packet.
  if (::fallocate(Fd(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) return {};
  if (errno != EOPNOTSUPP && errno != ENOSYS) return refused(errno);
  const int error = ::posix_fallocate(Fd(), 0, static_cast<off_t>(bytes));
  if (error != 0) return refused(error);
  return {};
}

void CaptureFile::MarkRecorded() {
  m_recorded = true;
  m_file.Keep();
}

bool CaptureFile::Close() { return m_file.Close(); }

Result<> CaptureFile::SaveAs(const std::string& target) {
  const auto refused = [&target](int error) {
    return SystemRefused(StopReason::kWriteFailed, "cannot save as " + target, error);
  };
  if (Fd() >= 0) return refused(EBUSY);
  if (m_saved) {
    if (Path() != target && !CopyOver(Path(), target)) return refused(errno);
    return {};
  }
  if (!m_file.ReplaceTarget(target)) return refused(errno);
  SyncFolderOf(target);
  m_saved = true;
  return {};
}

std::string DescribeSaveFailure(const std::string& from, const std::string& to, const DriverError& error) {
  return DescribeSystemError("cannot save " + from + " as " + to, error.errorNumber);
}

std::string LeftoverTarget(const std::string& path) {
  static constexpr std::string_view kMiddle = ".recording-";
  const std::filesystem::path file(path);
  const std::string name = file.filename().string();
  const std::string extension = file.extension().string();
  const std::string_view kEnd = CopyContainerFor(path) ? std::string_view(extension) : std::string_view(".avi");
  const std::size_t letters = 6;
  if (name.size() <= kMiddle.size() + letters + kEnd.size()) return "";
  const std::size_t middle = name.size() - kEnd.size() - letters - kMiddle.size();
  const std::string_view prefix = std::string_view(name).substr(0, middle + kMiddle.size());
  if (!prefix.ends_with(kMiddle) || !HasUniqueFileNameForm(name, prefix, kEnd)) return "";
  return (file.parent_path() / (name.substr(0, middle) + std::string(kEnd))).string();
}

}  // namespace tovalen::ffmpeg
