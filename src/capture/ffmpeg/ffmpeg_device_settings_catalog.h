#pragma once

#include "capture/device_settings_catalog.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"

namespace tovalen::ffmpeg {

// The FFmpeg driver's devices and their settings behind the driver-neutral catalog.
class FfmpegDeviceSettingsCatalog : public DeviceSettingsCatalog {
 public:
  explicit FfmpegDeviceSettingsCatalog(FfmpegCaptureDriver& driver) : m_driver(driver) {}

  std::vector<DeviceProfile> Devices() override;
  std::optional<DeviceSettings> ConnectedSettings(CaptureWindowHandle window) const override;
  std::vector<VideoCodec> EncodableCodecs() const override;
  std::filesystem::path SettingsFile() const override;

 private:
  FfmpegCaptureDriver& m_driver;  // not owned
};

}  // namespace tovalen::ffmpeg
