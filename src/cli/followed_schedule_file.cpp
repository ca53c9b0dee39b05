#include "cli/followed_schedule_file.h"

#include "platform/atomic_file.h"
#include "platform/trace.h"

namespace tovalen::cli {

ScheduleFileContents FollowedScheduleFile::Read() {
  // Stamped before reading: a change made while it is read is seen as a change next time.
  m_read = IdentifyFile(m_path);
  return LoadScheduleFile(m_path);
}

std::optional<std::vector<SYoyaku>> FollowedScheduleFile::TakeChange() {
  if (IdentifyFile(m_path) == m_read) return std::nullopt;
  std::string failure;
  try {
    return Read().reservations;
  } catch (const FileError& error) {
    failure = error.what();
  } catch (const ScheduleFileError& error) {
    failure = error.what();
  }
  Trace("E: " + failure + "\n");
  m_out << failure << "; the reservations read before stay planned" << std::endl;
  return std::nullopt;
}

}  // namespace tovalen::cli
