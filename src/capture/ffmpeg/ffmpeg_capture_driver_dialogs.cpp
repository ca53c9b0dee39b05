#include "capture/ffmpeg/capture_window_state.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/ffmpeg/video_codecs.h"

namespace tovalen::ffmpeg {

// Each dialog works on a model of the connected device; on OK the choice is applied to the
// device, kept for it in the settings file and, where the picture changes, the preview restarts.

void FfmpegCaptureDriver::DlgVideoFormat(CaptureWindowHandle window) {
  WindowState* state = Connected(window);
  if (!state || state->running || !m_services.dialogs) return;
  VideoFormatModel model(state->device->VideoFormats(), state->settings);
  if (!m_services.dialogs->EditVideoFormat(model)) return;
  model.ApplyTo(state->settings);
  SaveSettings(*state);
  UpdatePreview(*state);
}

void FfmpegCaptureDriver::DlgVideoSource(CaptureWindowHandle window) {
  WindowState* state = Connected(window);
  if (!state || state->running || !m_services.dialogs) return;
  VideoSourceModel model(state->device->Inputs(), state->device->Controls(), state->settings);
  if (!m_services.dialogs->EditVideoSource(model)) return;
  model.ApplyTo(state->settings);
  state->device->ApplyControls(state->settings);
  SaveSettings(*state);
  UpdatePreview(*state);
}

void FfmpegCaptureDriver::DlgVideoDisplay(CaptureWindowHandle window) {
  WindowState* state = Connected(window);
  if (!state || state->running || !m_services.dialogs) return;
  VideoDisplayModel model(state->settings);
  if (!m_services.dialogs->EditVideoDisplay(model)) return;
  model.ApplyTo(state->settings);
  SaveSettings(*state);
  UpdatePreview(*state);
}

void FfmpegCaptureDriver::DlgVideoCompression(CaptureWindowHandle window) {
  WindowState* state = Connected(window);
  if (!state || state->running || !m_services.dialogs) return;
  CompressionModel model(state->settings, EncodableVideoCodecs());
  if (!m_services.dialogs->EditCompression(model)) return;
  model.ApplyTo(state->settings);
  SaveSettings(*state);
}

}  // namespace tovalen::ffmpeg
