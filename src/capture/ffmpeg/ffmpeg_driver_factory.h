#pragma once

#include <memory>

#include "capture/capture_driver.h"
#include "capture/device_settings_catalog.h"
#include "capture/driver_dialog_models.h"
#include "capture/latest_picture.h"
#include "capture/leftover_recovery.h"
#include "capture/preview_surface.h"
#include "platform/main_loop.h"

// The FFmpeg driver as a program's composition file sees it. Nothing here names an FFmpeg or
// libjpeg type, so a program composing the driver compiles without their headers.
namespace tovalen::ffmpeg {

// What a program hands the driver.
struct DriverHooks {
  std::shared_ptr<MainLoop> mainLoop;             // required: keeps the caller's thread alive during a capture
  std::shared_ptr<CaptureWindowHost> windowHost;  // none: capture windows draw nothing
  std::shared_ptr<DriverDialogs> dialogs;         // none: the driver dialogs change nothing
  std::shared_ptr<LatestPicture> latestPicture;   // none: no still picture of the capture is kept
};

// The driver on the machine's devices, and its devices with their saved settings for the
// command-line program. The catalog reads the driver: it must not outlive it.
struct ComposedDriver {
  std::unique_ptr<CaptureDriver> driver;
  std::unique_ptr<DeviceSettingsCatalog> devices;
};

// Throws std::invalid_argument without a main loop.
ComposedDriver MakeFfmpegDriver(DriverHooks hooks);

// Rebuilds the leftovers of captures whose process died.
std::shared_ptr<LeftoverRecovery> MakeFfmpegLeftoverRecovery();

}  // namespace tovalen::ffmpeg
