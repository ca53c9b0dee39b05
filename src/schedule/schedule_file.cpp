#include "schedule/schedule_file.h"

#include <algorithm>

#include "platform/atomic_file.h"
#include "schedule/archive.h"
#include "schedule/yoyaku_schedule.h"

namespace tovalen {
namespace {

// A settings value and the values this program or its predecessor could store there. The
// settings dialogs store -1 for a group left with no choice; device indices run from 0 to 9.
struct StoredSetting {
  const char* name;
  std::int32_t lowest;
  std::int32_t highest;
};
constexpr StoredSetting kSettingsBlock[] = {
    {"FPS", -1, 3},        {"PersistentConnect", 0, 1}, {"nSamplesPerSec", -1, 3},
    {"nPrecision", -1, 1}, {"nChannels", -1, 1},        {"CapDriverId", -1, 9},
};

// Random bytes pass every length check; values no writer produces show them up as damage.
void CheckSettingsBlock(std::string_view bytes) {
  ArchiveReader block(bytes);
  for (const StoredSetting& setting : kSettingsBlock) {
    const std::int32_t value = block.ReadInt32();
    if (value < setting.lowest || value > setting.highest) {
      throw ScheduleFileError(std::string("the capture setting ") + setting.name + " is " + std::to_string(value) +
                              ", not between " + std::to_string(setting.lowest) + " and " +
                              std::to_string(setting.highest));
    }
  }
}

std::int32_t ReadReservationCount(ArchiveReader& archive) {
  std::int32_t count = 0;
  try {
    count = archive.ReadInt32();
  } catch (const ArchiveError& error) {
    throw ScheduleFileError(std::string("the reservation count is missing: ") + error.what());
  }
  // Checked before anything is allocated, so a damaged count cannot ask for gigabytes.
  if (count > 0 && static_cast<std::size_t>(count) > archive.Remaining() / kMinStoredYoyakuBytes) {
    throw ScheduleFileError("the file claims " + std::to_string(count) + " reservations but its remaining " +
                            std::to_string(archive.Remaining()) + " bytes cannot hold them");
  }
  return count;
}

}  // namespace

std::string EncodeScheduleFile(const SCaptureSettings& settings, const CYoyakuSchedule& schedule) {
  ArchiveWriter archive;
  archive.Reserve(28 + schedule.Items().size() * 40);
  settings.Serialize(archive);
  archive.WriteInt32(schedule.GetYoyakuCount());
  for (const SYoyaku& yoyaku : schedule.Items()) yoyaku.Serialize(archive);
  return archive.TakeBytes();
}

ScheduleFileContents DecodeScheduleFile(std::string_view bytes) {
  if (bytes.empty()) throw ScheduleFileError("the file is empty");
  ArchiveReader archive(bytes);
  ScheduleFileContents contents;
  try {
    contents.settings.Serialize(archive);
  } catch (const ArchiveError& error) {
    throw ScheduleFileError(std::string("the capture settings are incomplete: ") + error.what());
  }
  CheckSettingsBlock(bytes);
  const std::int32_t count = ReadReservationCount(archive);
  if (count > 0) contents.reservations.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    SYoyaku yoyaku;
    try {
      yoyaku.Serialize(archive);
    } catch (const ArchiveError& error) {
      throw ScheduleFileError("reservation " + std::to_string(i + 1) + " of " + std::to_string(count) +
                              " is damaged: " + error.what());
    }
    contents.reservations.push_back(std::move(yoyaku));
  }
  // The writer stops after the last reservation: more bytes mean a damaged count or another file.
  if (archive.Remaining() != 0) {
    throw ScheduleFileError(std::to_string(archive.Remaining()) + " bytes follow the last reservation");
  }
  std::stable_sort(contents.reservations.begin(), contents.reservations.end(), IsEarlierStart);
  return contents;
}

FileIdentity SaveScheduleFile(const std::string& path, const SCaptureSettings& settings,
                              const CYoyakuSchedule& schedule) {
  std::string bytes;
  try {
    bytes = EncodeScheduleFile(settings, schedule);
  } catch (const ArchiveError& error) {
    throw FileError("cannot write " + path + ": " + error.what());
  }
  return WriteFileAtomically(path, bytes);
}

ScheduleFileContents LoadScheduleFile(const std::string& path) {
  const std::string bytes = ReadWholeFile(path, kMaxScheduleFileBytes);
  try {
    return DecodeScheduleFile(bytes);
  } catch (const ScheduleFileError& error) {
    throw ScheduleFileError(path + " is not a usable schedule file: " + error.what());
  }
}

}  // namespace tovalen
