#include "cli/cli_capture.h"

#include "capture/ffmpeg/ffmpeg_driver_factory.h"

namespace tovalen::cli {
namespace {

CliCapture Install() {
  auto plain = std::make_shared<PlainMainLoop>();
  auto loop = std::make_shared<TerminationAwareLoop>(plain);
  auto dialogs = std::make_shared<CliDriverDialogs>();
  auto picture = std::make_shared<LatestPicture>();
  ffmpeg::ComposedDriver composed = ffmpeg::MakeFfmpegDriver({loop, nullptr, dialogs, picture});
  CaptureDriver& driverRef = *composed.driver;
  // Like the driver, kept to the end.
  static const std::unique_ptr<DeviceSettingsCatalog> catalog = std::move(composed.devices);
  auto ui = std::make_unique<CliCaptureUserInterface>();
  CliCaptureUserInterface& uiRef = *ui;
  CVideoCap::Install({std::move(composed.driver), std::move(ui)});
  auto recovery = ffmpeg::MakeFfmpegLeftoverRecovery();
  InstallLeftoverRecovery(recovery);
  // The controller owns the driver and keeps it (and so the loops and dialogs) to the end.
  return CliCapture{CVideoCap::GetInstance(), driverRef, *catalog, *plain, *loop, *dialogs, uiRef, *recovery, picture};
}

}  // namespace

const RecordingTargetCheck& InstalledTargetCheck() {
  static const std::shared_ptr<RecordingTargetCheck> check = ffmpeg::MakeFfmpegTargetCheck();
  return *check;
}

std::size_t DevicesBeforeStreams() { return ffmpeg::CountDevicesBeforeStreams(); }

CliCapture& InstalledCapture() {
  static CliCapture capture = Install();
  return capture;
}

}  // namespace tovalen::cli
