#include "app/capture_services.h"

#include <memory>

#include "app/capture_panel.h"
#include "app/wx_main_loop.h"
#include "capture/ffmpeg/ffmpeg_driver_factory.h"
#include "capture/video_cap.h"
#include "dialogs/wx_capture_user_interface.h"
#include "dialogs/wx_driver_dialogs.h"

namespace tovalen {
namespace {

std::shared_ptr<WxMainLoop> g_mainLoop;  // shared with the installed driver
std::shared_ptr<RecordingTargetCheck> g_targetCheck;

}  // namespace

void InstallCaptureServices() {
  g_mainLoop = std::make_shared<WxMainLoop>();
  // The desktop program reads its devices through the driver dialogs, not the catalog.
  ffmpeg::ComposedDriver composed = ffmpeg::MakeFfmpegDriver(
      {g_mainLoop, std::make_shared<WxCaptureWindowHost>(), std::make_shared<WxDriverDialogs>(), nullptr});
  CVideoCap::Install({std::move(composed.driver), std::make_unique<WxCaptureUserInterface>()});
  InstallLeftoverRecovery(ffmpeg::MakeFfmpegLeftoverRecovery());
  g_targetCheck = ffmpeg::MakeFfmpegTargetCheck();
}

const RecordingTargetCheck* CaptureTargetCheck() { return g_targetCheck.get(); }

WxMainLoop& CaptureMainLoop() { return *g_mainLoop; }

}  // namespace tovalen
