#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "schedule/capture_settings.h"
#include "schedule/s_yoyaku.h"

namespace tovalen {

class CYoyakuSchedule;

// A .yyk file's content that cannot be used; what() says what is wrong and where.
class ScheduleFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Everything a .yyk file holds, read completely before anything is applied.
struct ScheduleFileContents {
  SCaptureSettings settings;
  std::vector<SYoyaku> reservations;  // in start-time order (stable)
};

// The file's bytes: the settings block, the count and the reservations in list order.
std::string EncodeScheduleFile(const SCaptureSettings& settings, const CYoyakuSchedule& schedule);

// Parses a whole file. A count of zero or less means no reservations. Throws ScheduleFileError
// for an empty, truncated or inconsistent file, a settings value no writer stores, or bytes
// after the last entry.
ScheduleFileContents DecodeScheduleFile(std::string_view bytes);

// Writes the file atomically: the old file stays whole if the save fails. Returns the identity
// of the file written. Throws FileError.
FileIdentity SaveScheduleFile(const std::string& path, const SCaptureSettings& settings,
                              const CYoyakuSchedule& schedule);

// Far above what 100,000 reservations with long texts take; a larger file is refused unread.
inline constexpr std::size_t kMaxScheduleFileBytes = 64 * 1024 * 1024;

// Reads and parses a regular file of at most kMaxScheduleFileBytes. Throws FileError or ScheduleFileError (its text
// names the path).
ScheduleFileContents LoadScheduleFile(const std::string& path);

// The smallest stored reservation: two times and two empty strings.
inline constexpr std::size_t kMinStoredYoyakuBytes = 4 + 4 + 1 + 1;

}  // namespace tovalen
