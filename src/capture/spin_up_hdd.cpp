#include "capture/spin_up_hdd.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>

#include "capture/trace_time_stamp.h"
#include "platform/trace.h"

namespace tovalen {
namespace {

constexpr std::size_t kProbeBytes = 1'048'576;
// Static zeros: the probe needs no allocation that could fail.
constexpr char kProbe[kProbeBytes] = {};

class ScratchFile {
 public:
  // Creates a uniquely named file in the folder; Valid() tells whether it worked.
  explicit ScratchFile(const std::filesystem::path& folder) {
    std::string name = (folder / ".tovalen-spinup-XXXXXX").string();
    m_fd = ::mkstemp(name.data());
    if (m_fd >= 0) m_path = std::move(name);
  }
  ~ScratchFile() {
    Close();
    if (!m_path.empty()) ::unlink(m_path.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool Valid() const { return m_fd >= 0; }

  // Writes the whole probe and closes the file; false when any of it did not reach the file.
  bool WriteProbeAndClose() {
    std::size_t written = 0;
    while (written < kProbeBytes) {
      const ssize_t n = ::write(m_fd, kProbe + written, kProbeBytes - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    const bool closed = Close();
    return written == kProbeBytes && closed;
  }

  // Deletes the file; false when it could not be deleted.
  bool Remove() {
    if (::unlink(m_path.c_str()) != 0) return false;
    m_path.clear();
    return true;
  }

 private:
  bool Close() {
    if (m_fd < 0) return true;
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0;
  }

  int m_fd = -1;
  std::string m_path;
};

std::filesystem::path FolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// A file already at the target is replaced when the capture is saved: it must be a regular file
// this user may write, and their own (in a shared folder another's file cannot be replaced).
// Opened without truncating, so it stays as it is.
bool TargetMayBeReplaced(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISREG(info.st_mode)) return false;
  if (info.st_uid != ::geteuid() && ::geteuid() != 0) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

bool SpinUpHDD(const std::string& path) {
  Trace("D: entering SpinUpHDD() " + CaptureTraceTimeStamp() + "\n\t");
  Trace(path);
  Trace("\n");

  // The probe goes beside the target, never into it: a file already there must survive.
  if (path.empty() || !TargetMayBeReplaced(path)) {
    Trace("E: SpinUpHDD() fopen() failed\n");
    return false;
  }
  ScratchFile scratch(FolderOf(path));
  if (!scratch.Valid()) {
    Trace("E: SpinUpHDD() fopen() failed\n");
    return false;
  }
  if (!scratch.WriteProbeAndClose()) {
    Trace("E: SpinUpHdd() fwrite() failed\n");
    return false;  // the partial scratch file is removed with the object
  }
  if (!scratch.Remove()) {
    Trace("E: SpinUpHDD() _unlink() failed\n");
    return false;
  }
  Trace("D: SpinUpHDD() success\n");
  return true;
}

}  // namespace tovalen
