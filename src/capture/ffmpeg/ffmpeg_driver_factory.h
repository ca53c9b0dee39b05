#pragma once

#include <cstddef>
#include <memory>

#include "capture/capture_driver.h"
#include "capture/device_settings_catalog.h"
#include "capture/driver_dialog_models.h"
#include "capture/latest_picture.h"
#include "capture/leftover_recovery.h"
#include "capture/preview_surface.h"
#include "capture/target_check.h"
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

// Decides whether a target can be recorded from the machine's device at an index, when a
// reservation is entered: a copy into .ts, .mkv or .mp4 only of a stream the container can hold.
std::shared_ptr<RecordingTargetCheck> MakeFfmpegTargetCheck();

// How many of the machine's devices are listed before the user's streams.
std::size_t CountDevicesBeforeStreams();

// Rebuilds the leftovers of captures whose process died.
std::shared_ptr<LeftoverRecovery> MakeFfmpegLeftoverRecovery();

}  // namespace tovalen::ffmpeg
