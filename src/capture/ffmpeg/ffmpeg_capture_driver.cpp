#include "capture/ffmpeg/ffmpeg_capture_driver.h"

#include <stdexcept>

#include "capture/ffmpeg/capture_window_state.h"
#include "capture/ffmpeg/format_media_source.h"
#include "capture/ffmpeg/video_codecs.h"
#include "platform/atomic_file.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {

FfmpegCaptureDriver::FfmpegCaptureDriver(FfmpegDriverServices services) : m_services(std::move(services)) {
  if (!m_services.mainLoop) throw std::invalid_argument("the capture driver needs a main loop");
  if (!m_services.catalog) m_services.catalog = std::make_shared<SystemDeviceCatalog>();
  RegisterDevices();
}

FfmpegCaptureDriver::~FfmpegCaptureDriver() = default;

std::shared_ptr<FfmpegCaptureDriver::WindowState> FfmpegCaptureDriver::Find(CaptureWindowHandle window) const {
  const auto found = m_windows.find(window.value);
  return found == m_windows.end() ? nullptr : found->second;
}

FfmpegCaptureDriver::WindowState* FfmpegCaptureDriver::Connected(CaptureWindowHandle window) const {
  const auto state = Find(window);
  return state && state->device ? state.get() : nullptr;
}

// --- Windows ---------------------------------------------------------------------------------

CaptureWindowHandle FfmpegCaptureDriver::CreateCaptureWindow(const SCaptureWindowPlacement& placement,
                                                             ParentWindowHandle parent) {
  auto state = std::make_shared<WindowState>();
  state->placement = placement;
  if (m_services.windowHost) {
    state->surface = m_services.windowHost->CreateSurface(placement, parent);
    if (!state->surface) return {};
  }
  const CaptureWindowHandle handle{m_nextHandle++};
  m_windows.emplace(handle.value, std::move(state));
  return handle;
}

bool FfmpegCaptureDriver::DestroyWindow(CaptureWindowHandle window) {
  const auto state = Find(window);
  if (!state) return false;
  // A sequence in progress keeps the state alive until it has ended and finished its file.
  if (state->running) state->running->RequestStop(StopReason::kStopRequested);
  state->previewSession.reset();
  m_windows.erase(window.value);
  return true;
}

bool FfmpegCaptureDriver::IsWindow(CaptureWindowHandle window) const { return Find(window) != nullptr; }

bool FfmpegCaptureDriver::ResizeWindow(CaptureWindowHandle window, int width, int height) {
  const auto state = Find(window);
  if (!state || width <= 0 || height <= 0) return false;
  state->placement.width = width;
  state->placement.height = height;
  if (state->surface) state->surface->Resize(width, height);
  if (state->previewSession) state->previewSession->SetWindowSize({width, height});
  if (state->running) state->running->SetPreviewWindowSize({width, height});
  return true;
}

// --- Devices and connection --------------------------------------------------------------------

std::vector<std::shared_ptr<CaptureDevice>> FfmpegCaptureDriver::Devices() {
  m_devices = m_services.catalog->Enumerate();
  if (m_devices.size() > DeviceCatalog::kMaxDevices) m_devices.resize(DeviceCatalog::kMaxDevices);
  return m_devices;
}

const std::vector<std::shared_ptr<CaptureDevice>>& FfmpegCaptureDriver::CachedDevices() const {
  if (m_devices.empty()) m_devices = m_services.catalog->Enumerate();
  return m_devices;
}

std::optional<SDriverDescription> FfmpegCaptureDriver::GetDriverDescription(int index) const {
  // The controller asks for 0 to 9 in turn: the first question looks for devices anew.
  if (index == 0) m_devices.clear();
  const auto& devices = CachedDevices();
  if (index < 0 || index >= static_cast<int>(devices.size())) return std::nullopt;
  return SDriverDescription{devices[index]->Name(), devices[index]->Version()};
}

DeviceSettings FfmpegCaptureDriver::SettingsOf(const CaptureDevice& device) const {
  return m_services.settingsStore.Load(device.SettingsKey()).value_or(DeviceSettings{});
}

bool FfmpegCaptureDriver::DriverConnect(CaptureWindowHandle window, int driverIndex) {
  const auto state = Find(window);
  if (!state || state->running) return false;
  const auto& devices = CachedDevices();
  if (driverIndex < 0 || driverIndex >= static_cast<int>(devices.size())) {
    Trace("E: capture driver: no device " + std::to_string(driverIndex) + "\n");
    return false;
  }
  const std::shared_ptr<CaptureDevice>& device = devices[driverIndex];
  if (!device->IsPresent()) {
    Trace("E: capture driver: " + device->Name() + " cannot be opened\n");
    return false;
  }
  state->previewSession.reset();
  state->preview = state->overlay = false;
  state->device = device;
  state->deviceIndex = driverIndex;
  state->settings = SettingsOf(*device);
  if (!state->settings.controls.empty()) device->ApplyControls(state->settings);
  return true;
}

bool FfmpegCaptureDriver::DriverDisconnect(CaptureWindowHandle window) {
  const auto state = Find(window);
  if (!state || !state->device) return false;
  if (state->running) {
    state->running->RequestStop(StopReason::kStopRequested);
    return false;  // the sequence still holds the device
  }
  state->previewSession.reset();
  state->preview = state->overlay = false;
  state->device.reset();
  state->deviceIndex = -1;
  return true;
}

std::optional<SCapDriverCaps> FfmpegCaptureDriver::DriverGetCaps(CaptureWindowHandle window) {
  const WindowState* state = Connected(window);
  if (!state) return std::nullopt;
  const CaptureDevice& device = *state->device;
  SCapDriverCaps caps;
  caps.wDeviceIndex = static_cast<std::uint32_t>(state->deviceIndex);
  caps.fHasOverlay = device.HasOverlay() ? 1 : 0;
  caps.fHasDlgVideoSource = device.Inputs().size() > 1 || !device.Controls().empty() ? 1 : 0;
  caps.fHasDlgVideoFormat = device.VideoFormats().empty() ? 0 : 1;
  caps.fHasDlgVideoDisplay = 1;  // the preview's display options exist for every device
  return caps;
}

std::optional<SCapStatus> FfmpegCaptureDriver::GetStatus(CaptureWindowHandle window) {
  const WindowState* state = Connected(window);
  if (!state) return std::nullopt;
  SCapStatus status;
  FrameSize size = state->settings.size.IsSet() ? state->settings.size : FrameSize{};
  if (state->running)
    size = state->running->ImageSize();
  else if (state->previewSession)
    size = state->previewSession->ImageSize();
  if (!size.IsSet()) size = state->device->DefaultSize();
  status.uiImageWidth = static_cast<std::uint32_t>(size.width);
  status.uiImageHeight = static_cast<std::uint32_t>(size.height);
  status.fLiveWindow = state->preview;
  status.fOverlayWindow = state->overlay;
  status.fCapturingNow = state->running != nullptr;
  // The sequence in progress, or else the last one.
  const std::optional<CaptureOutcome> counts = state->running       ? state->running->Progress()
                                               : state->lastOutcome ? std::optional(*state->lastOutcome)
                                                                    : std::nullopt;
  if (counts) {
    status.dwCurrentVideoFrame = counts->framesCaptured;
    status.dwCurrentVideoFramesDropped = counts->FramesDropped();
    status.dwCurrentWaveSamples = static_cast<std::uint32_t>(counts->audioSamples);
    status.dwCurrentTimeElapsedMS = counts->elapsedMs;
    status.dwReconnects = counts->reconnects;
  }
  return status;
}

std::optional<DeviceSettings> FfmpegCaptureDriver::ConnectedSettings(CaptureWindowHandle window) const {
  const WindowState* state = Connected(window);
  return state ? std::optional(state->settings) : std::nullopt;
}

std::optional<CaptureOutcome> FfmpegCaptureDriver::LastOutcome() const {
  return m_lastOutcome ? std::optional(*m_lastOutcome) : std::nullopt;
}

void FfmpegCaptureDriver::SaveSettings(WindowState& window) {
  if (const auto saved = m_services.settingsStore.Save(window.device->SettingsKey(), window.settings); !saved)
    Trace("E: capture driver: " + saved.Error().detail + "\n");
}

// --- Preview and overlay -----------------------------------------------------------------------

void FfmpegCaptureDriver::SetPreviewRate(CaptureWindowHandle window, int millisecondsPerFrame) {
  if (const auto state = Find(window); state && millisecondsPerFrame > 0) {
    state->previewRateMs = millisecondsPerFrame;
    if (state->preview) UpdatePreview(*state);
  }
}

bool FfmpegCaptureDriver::UpdatePreview(WindowState& window) {
  window.previewSession.reset();
  // During a capture the capture's own frames are drawn.
  const std::optional<PreviewConfig> drawing = window.Drawing();
  if (!drawing || window.running) return true;
  VideoRequest request;
  request.settings = window.settings;
  request.frameRate = {1'000'000, static_cast<int>(window.parms.dwRequestMicroSecPerFrame)};
  auto session = FailOnOutOfMemory(StopReason::kDeviceOpenFailed,
                                   [&] { return PreviewSession::Start(*window.device, request, *drawing); });
  if (!session) {
    Trace("E: capture driver: no live picture: " + session.Error().detail + "\n");
    return false;
  }
  window.previewSession = std::move(*session);
  return true;
}

bool FfmpegCaptureDriver::Preview(CaptureWindowHandle window, bool on) {
  WindowState* state = Connected(window);
  if (!state) return false;
  state->preview = on;
  if (on) state->overlay = false;
  if (UpdatePreview(*state)) return true;
  state->preview = false;
  return false;
}

bool FfmpegCaptureDriver::Overlay(CaptureWindowHandle window, bool on) {
  WindowState* state = Connected(window);
  if (!state || (on && !state->device->HasOverlay())) return false;
  state->overlay = on;
  if (on) state->preview = false;
  if (UpdatePreview(*state)) return true;
  state->overlay = false;
  return false;
}

std::uint64_t FfmpegCaptureDriver::PreviewFramesShown(CaptureWindowHandle window) const {
  const auto state = Find(window);
  return state && state->previewSession ? state->previewSession->FramesShown() : 0;
}

// --- Settings ------------------------------------------------------------------------------

bool FfmpegCaptureDriver::SetAudioFormat(CaptureWindowHandle window, const SWaveFormat& format) {
  WindowState* state = Connected(window);
  if (!state) return false;
  const bool valid = format.wFormatTag == 1 && (format.nChannels == 1 || format.nChannels == 2) &&
                     (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) && format.nSamplesPerSec >= 8000 &&
                     format.nSamplesPerSec <= 192000 &&
                     format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8 &&
                     format.nAvgBytesPerSec == format.nBlockAlign * format.nSamplesPerSec;
  if (!valid) {
    Trace("E: capture driver: the audio format is not 8 or 16-bit PCM in mono or stereo\n");
    return false;
  }
  state->waveFormat = format;
  return true;
}

std::optional<SCaptureParms> FfmpegCaptureDriver::CaptureGetSetup(CaptureWindowHandle window) {
  const WindowState* state = Connected(window);
  return state ? std::optional(state->parms) : std::nullopt;
}

bool FfmpegCaptureDriver::CaptureSetSetup(CaptureWindowHandle window, const SCaptureParms& parms) {
  WindowState* state = Connected(window);
  // From 1000 frames a second to one frame in ten seconds: what devices and AVI files can have.
  if (!state || parms.dwRequestMicroSecPerFrame < 1000 || parms.dwRequestMicroSecPerFrame > 10'000'000) return false;
  state->parms = parms;
  return true;
}

}  // namespace tovalen::ffmpeg
