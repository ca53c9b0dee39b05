#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "capture/device_settings_record.h"
#include "capture/ffmpeg/driver_result.h"

namespace tovalen::ffmpeg {

// The driver settings of every device, kept per user in one plain text file: a "[key]" line
// per device, then "name=value" lines. Unknown names and bad values are skipped, so a damaged
// or newer file never stops a recording.
class DriverSettingsStore {
 public:
  // An empty path means DefaultFile(), looked up at each load and save.
  explicit DriverSettingsStore(std::filesystem::path file = {}) : m_file(std::move(file)) {}

  // $XDG_CONFIG_HOME/tovalen/capture-devices.conf, else ~/.config/tovalen/capture-devices.conf;
  // empty when neither variable is set.
  static std::filesystem::path DefaultFile();

  // The device's saved settings, or nothing when none are saved or the file cannot be read.
  std::optional<DeviceSettings> Load(const std::string& deviceKey) const;
  // Replaces the device's section and keeps the others; fails when the file cannot be written.
  Result<> Save(const std::string& deviceKey, const DeviceSettings& settings) const;

  std::filesystem::path File() const { return m_file.empty() ? DefaultFile() : m_file; }

 private:
  std::filesystem::path m_file;
};

// The text of one device's section and back; exposed for tests.
std::string FormatDeviceSettings(const DeviceSettings& settings);
DeviceSettings ParseDeviceSettings(const std::string& lines);

}  // namespace tovalen::ffmpeg
