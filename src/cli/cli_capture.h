#pragma once

#include <memory>

#include "capture/capture_driver.h"
#include "capture/device_settings_catalog.h"
#include "capture/latest_picture.h"
#include "capture/leftover_recovery.h"
#include "capture/target_check.h"
#include "capture/video_cap.h"
#include "cli/cli_capture_user_interface.h"
#include "cli/cli_driver_dialogs.h"
#include "cli/termination_aware_loop.h"
#include "platform/plain_main_loop.h"

namespace tovalen::cli {

// The capture controller of tovalen-rec on its driver, with a plain main loop that remembers
// termination signals and driver dialogs answered from the command line. Installed on first
// use and kept, like the program's controller, until the process ends.
struct CliCapture {
  CVideoCap& controller;
  CaptureDriver& driver;
  DeviceSettingsCatalog& devices;  // the driver's devices and their dialog settings
  PlainMainLoop& plainLoop;        // what ScopedTerminationSignals watches with
  TerminationAwareLoop& loop;
  CliDriverDialogs& dialogs;
  CliCaptureUserInterface& ui;
  LeftoverRecovery& recovery;                    // also the installed one, which the runner uses
  std::shared_ptr<LatestPicture> latestPicture;  // the MJPEG recording's latest frame
};

CliCapture& InstalledCapture();

// Whether a target can be recorded from a device: made on first use, without the controller.
const RecordingTargetCheck& InstalledTargetCheck();

// How many of the machine's devices come before the user's streams in the device list.
std::size_t DevicesBeforeStreams();

}  // namespace tovalen::cli
