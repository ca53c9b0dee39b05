#include "capture/spin_up_hdd.h"

#include <fcntl.h>
#include <stdlib.h>
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

}  // namespace

bool SpinUpHDD(const std::string& path) {
  Trace("D: entering SpinUpHDD() " + CaptureTraceTimeStamp() + "\n\t");
  Trace(path);
  Trace("\n");

  // The probe goes beside the target, never into it: a file already there must survive.
  if (path.empty()) {
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
