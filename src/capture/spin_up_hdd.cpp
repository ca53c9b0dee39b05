#include "capture/spin_up_hdd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "capture/trace_time_stamp.h"
#include "platform/file_beside_target.h"
#include "platform/posix_file.h"
#include "platform/trace.h"

namespace tovalen {
namespace {

constexpr std::size_t kProbeBytes = 1'048'576;
// Static zeros: the probe needs no allocation that could fail.
constexpr char kProbe[kProbeBytes] = {};

// A file already at the target is replaced when the capture is saved: it must be a regular file
// this user may write, and their own (in a shared folder another's file cannot be replaced).
// Opened without truncating, so it stays as it is.
bool TargetMayBeReplaced(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISREG(info.st_mode)) return false;
  if (info.st_uid != ::geteuid() && ::geteuid() != 0) return false;
  return FileDescriptor(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)).get() >= 0;
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
  FileBesideTarget scratch(FolderOf(path) + "/.tovalen-spinup-", "");
  if (!scratch.Valid()) {
    Trace("E: SpinUpHDD() fopen() failed\n");
    return false;
  }
  if (!WriteAll(scratch.Fd(), kProbe, kProbeBytes) || !scratch.Close()) {
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
