#pragma once

// The driver's state of one capture window; shared by the driver's source files only.

#include <memory>
#include <optional>
#include <string>

#include "capture/ffmpeg/capture_file.h"
#include "capture/ffmpeg/capture_pipeline.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/ffmpeg/preview_session.h"
#include "capture/ffmpeg/running_capture.h"

namespace tovalen::ffmpeg {

struct FfmpegCaptureDriver::WindowState {
  SCaptureWindowPlacement placement;
  std::unique_ptr<PreviewSurface> surface;  // none: nothing is drawn

  std::shared_ptr<CaptureDevice> device;  // none while not connected
  int deviceIndex = -1;
  DeviceSettings settings;
  SCaptureParms parms;
  std::optional<SWaveFormat> waveFormat;

  int previewRateMs = 66;
  bool preview = false;
  bool overlay = false;
  std::unique_ptr<PreviewSession> previewSession;  // after the surface: stops drawing before it goes

  std::string captureTarget;
  std::unique_ptr<CaptureFile> pendingFile;  // made and reserved for the next sequence
  std::unique_ptr<CaptureFile> recording;    // what the last sequence recorded
  FrameCallback callback;
  RunningCapture* running = nullptr;            // the sequence in progress, owned by CaptureSequence
  CaptureFile* runningFile = nullptr;           // what it records into, owned by CaptureSequence
  std::shared_ptr<CaptureOutcome> lastOutcome;  // of the last sequence, with its save's result

  FrameSize WindowSize() const { return {placement.width, placement.height}; }

  // How frames are drawn into the window now: nothing without a surface or with both off.
  std::optional<PreviewConfig> Drawing() const {
    if (!(preview || overlay) || !surface) return std::nullopt;
    PreviewConfig config;
    config.surface = surface.get();
    config.mode = overlay ? PreviewMode::kOverlay : PreviewMode::kPreview;
    config.rateMs = previewRateMs;
    config.display = settings.display;
    config.window = WindowSize();
    return config;
  }
};

}  // namespace tovalen::ffmpeg
