#include "app/capture_services.h"

#include <memory>

#include "app/capture_panel.h"
#include "app/wx_main_loop.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/ffmpeg/ffmpeg_leftover_recovery.h"
#include "capture/video_cap.h"
#include "dialogs/wx_capture_user_interface.h"
#include "dialogs/wx_driver_dialogs.h"

namespace tovalen {
namespace {

std::shared_ptr<WxMainLoop> g_mainLoop;  // shared with the installed driver

}  // namespace

void InstallCaptureServices() {
  ffmpeg::FfmpegDriverServices services;
  g_mainLoop = std::make_shared<WxMainLoop>();
  services.mainLoop = g_mainLoop;
  services.windowHost = std::make_shared<WxCaptureWindowHost>();
  services.dialogs = std::make_shared<WxDriverDialogs>();
  CVideoCap::Install(
      {std::make_unique<ffmpeg::FfmpegCaptureDriver>(std::move(services)), std::make_unique<WxCaptureUserInterface>()});
  InstallLeftoverRecovery(std::make_shared<ffmpeg::FfmpegLeftoverRecovery>());
}

WxMainLoop& CaptureMainLoop() { return *g_mainLoop; }

}  // namespace tovalen
