#include "capture/ffmpeg/ffmpeg_device_settings_catalog.h"

#include "capture/ffmpeg/video_codecs.h"

namespace tovalen::ffmpeg {

std::vector<DeviceProfile> FfmpegDeviceSettingsCatalog::Devices() {
  std::vector<DeviceProfile> choices;
  for (const auto& device : m_driver.Devices()) {
    choices.push_back({device->Name(), device->Version(), device->VideoFormats(), device->Inputs(), device->Controls(),
                       device->DefaultSize(), m_driver.SettingsOf(*device)});
  }
  return choices;
}

std::optional<DeviceSettings> FfmpegDeviceSettingsCatalog::ConnectedSettings(CaptureWindowHandle window) const {
  return m_driver.ConnectedSettings(window);
}

std::vector<VideoCodec> FfmpegDeviceSettingsCatalog::EncodableCodecs() const { return EncodableVideoCodecs(); }

std::filesystem::path FfmpegDeviceSettingsCatalog::SettingsFile() const { return DriverSettingsStore::DefaultFile(); }

}  // namespace tovalen::ffmpeg
