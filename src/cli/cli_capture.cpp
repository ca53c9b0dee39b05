#include "cli/cli_capture.h"

#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/ffmpeg/ffmpeg_device_settings_catalog.h"
#include "capture/ffmpeg/ffmpeg_leftover_recovery.h"

namespace tovalen::cli {
namespace {

CliCapture Install() {
  auto plain = std::make_shared<PlainMainLoop>();
  auto loop = std::make_shared<TerminationAwareLoop>(plain);
  auto dialogs = std::make_shared<CliDriverDialogs>();
  ffmpeg::FfmpegDriverServices services;
  services.mainLoop = loop;
  services.dialogs = dialogs;
  auto picture = std::make_shared<LatestPicture>();
  services.latestPicture = picture;
  auto driver = std::make_unique<ffmpeg::FfmpegCaptureDriver>(std::move(services));
  ffmpeg::FfmpegCaptureDriver& driverRef = *driver;
  static ffmpeg::FfmpegDeviceSettingsCatalog catalog(driverRef);  // like the driver, kept to the end
  auto ui = std::make_unique<CliCaptureUserInterface>();
  CliCaptureUserInterface& uiRef = *ui;
  CVideoCap::Install({std::move(driver), std::move(ui)});
  auto recovery = std::make_shared<ffmpeg::FfmpegLeftoverRecovery>();
  InstallLeftoverRecovery(recovery);
  // The controller owns the driver and keeps it (and so the loops and dialogs) to the end.
  return CliCapture{CVideoCap::GetInstance(), driverRef, catalog, *plain, *loop, *dialogs, uiRef, *recovery, picture};
}

}  // namespace

CliCapture& InstalledCapture() {
  static CliCapture capture = Install();
  return capture;
}

}  // namespace tovalen::cli
