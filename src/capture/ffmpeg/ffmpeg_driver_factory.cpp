#include "capture/ffmpeg/ffmpeg_driver_factory.h"

#include "capture/ffmpeg/device_catalog.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/ffmpeg/ffmpeg_device_settings_catalog.h"
#include "capture/ffmpeg/ffmpeg_leftover_recovery.h"
#include "capture/ffmpeg/stream_target_check.h"

namespace tovalen::ffmpeg {

ComposedDriver MakeFfmpegDriver(DriverHooks hooks) {
  FfmpegDriverServices services;
  services.mainLoop = std::move(hooks.mainLoop);
  services.windowHost = std::move(hooks.windowHost);
  services.dialogs = std::move(hooks.dialogs);
  services.latestPicture = std::move(hooks.latestPicture);
  auto driver = std::make_unique<FfmpegCaptureDriver>(std::move(services));
  auto devices = std::make_unique<FfmpegDeviceSettingsCatalog>(*driver);
  return {std::move(driver), std::move(devices)};
}

std::shared_ptr<RecordingTargetCheck> MakeFfmpegTargetCheck() {
  return std::make_shared<StreamTargetCheck>(std::make_shared<SystemDeviceCatalog>());
}

std::size_t CountDevicesBeforeStreams() { return SystemDeviceCatalog().DevicesBeforeStreams().size(); }

std::shared_ptr<LeftoverRecovery> MakeFfmpegLeftoverRecovery() { return std::make_shared<FfmpegLeftoverRecovery>(); }

}  // namespace tovalen::ffmpeg
