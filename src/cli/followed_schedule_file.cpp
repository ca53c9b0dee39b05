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
  const std::optional<FileIdentity> now = IdentifyFile(m_path);
  // A version that could not be read is read again at every check: a change made while it
  // could not be read (its permissions, say) need not change what identifies it.
  if (!m_failed && now == m_read) return std::nullopt;
  std::string failure;
  try {
    ScheduleFileContents contents = Read();
    m_failed.reset();
    return std::move(contents.reservations);
  } catch (const FileError& error) {
    failure = error.what();
  } catch (const ScheduleFileError& error) {
    failure = error.what();
  }
  // Said once for each version and each reason, not at every check.
  const bool told = m_failed && m_failed->identity == now && m_failed->reason == failure;
  m_failed = Failure{now, failure};
  if (told) return std::nullopt;
  Trace("E: " + failure + "\n");
  m_out << failure << "; the reservations read before stay planned" << std::endl;
  return std::nullopt;
}

}  // namespace tovalen::cli
