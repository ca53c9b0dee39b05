#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "schedule/schedule_file.h"

namespace tovalen::cli {

// The schedule file that tovalen-rec run follows: it tells when the file has been changed or
// replaced since it was last read, and reads it again. It never writes the file.
class FollowedScheduleFile {
 public:
  FollowedScheduleFile(std::string path, std::ostream& out) : m_path(std::move(path)), m_out(out) {}

  // Reads the file and remembers which version it read. Throws FileError or ScheduleFileError.
  ScheduleFileContents Read();
  // The reservations of a version not read yet, or nothing. A version that cannot be read is
  // reported once on `out`, nothing is returned for it, and it is tried again at the next call.
  std::optional<std::vector<SYoyaku>> TakeChange();

 private:
  struct Failure {
    std::optional<FileIdentity> identity;
    std::string reason;
  };

  std::string m_path;
  std::ostream& m_out;
  std::optional<FileIdentity> m_read;  // of the version last read or tried
  std::optional<Failure> m_failed;     // the last try failed: what it tried, and why
};

}  // namespace tovalen::cli
