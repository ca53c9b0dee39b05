#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_driver.h"
#include "capture/driver_dialog_models.h"
#include "capture/ffmpeg/capture_pipeline.h"
#include "capture/ffmpeg/device_catalog.h"
#include "capture/ffmpeg/driver_settings_store.h"
#include "capture/preview_surface.h"
#include "platform/main_loop.h"

namespace tovalen::ffmpeg {

// What the driver works with besides the FFmpeg libraries.
struct FfmpegDriverServices {
  std::shared_ptr<MainLoop> mainLoop;             // required: keeps the caller's thread alive during a capture
  std::shared_ptr<CaptureWindowHost> windowHost;  // none: capture windows draw nothing
  std::shared_ptr<DriverDialogs> dialogs;         // none: the driver dialogs change nothing
  std::shared_ptr<DeviceCatalog> catalog;         // none: the machine's devices
  DriverSettingsStore settingsStore;
  SpaceProbe spaceProbe = ProbeSpace;
  CaptureTimeouts timeouts;
  std::shared_ptr<LatestPicture> latestPicture;  // none: no still picture of the capture is kept
};

class CapturePipeline;
class RunningCapture;

// The capture driver on the FFmpeg libraries: V4L2 devices and the test pattern, recorded into
// AVI files by a CapturePipeline. A capture file is recorded beside its target and moved onto
// it only by FileSaveAs; what a failed capture recorded stays under its own name.
class FfmpegCaptureDriver : public CaptureDriver {
 public:
  // Throws std::invalid_argument without a main loop.
  explicit FfmpegCaptureDriver(FfmpegDriverServices services);
  ~FfmpegCaptureDriver() override;

  CaptureWindowHandle CreateCaptureWindow(const SCaptureWindowPlacement& placement, ParentWindowHandle parent) override;
  bool DestroyWindow(CaptureWindowHandle window) override;
  bool IsWindow(CaptureWindowHandle window) const override;
  bool ResizeWindow(CaptureWindowHandle window, int width, int height) override;

  std::optional<SDriverDescription> GetDriverDescription(int index) const override;
  bool DriverConnect(CaptureWindowHandle window, int driverIndex) override;
  bool DriverDisconnect(CaptureWindowHandle window) override;
  std::optional<SCapDriverCaps> DriverGetCaps(CaptureWindowHandle window) override;
  std::optional<SCapStatus> GetStatus(CaptureWindowHandle window) override;

  void DlgVideoFormat(CaptureWindowHandle window) override;
  void DlgVideoSource(CaptureWindowHandle window) override;
  void DlgVideoDisplay(CaptureWindowHandle window) override;
  void DlgVideoCompression(CaptureWindowHandle window) override;

  void SetPreviewRate(CaptureWindowHandle window, int millisecondsPerFrame) override;
  bool Preview(CaptureWindowHandle window, bool on) override;
  bool Overlay(CaptureWindowHandle window, bool on) override;

  bool FileSetCaptureFile(CaptureWindowHandle window, const std::string& path) override;
  bool FileAlloc(CaptureWindowHandle window, std::uint64_t bytes) override;
  void SetCallbackOnVideoStream(CaptureWindowHandle window, FrameCallback callback) override;
  bool CaptureSequence(CaptureWindowHandle window) override;
  bool CaptureStop(CaptureWindowHandle window) override;
  bool FileSaveAs(CaptureWindowHandle window, const std::string& path) override;
  FinalSave FinishForExit(CaptureWindowHandle window, const std::string& path) override;

  bool SetAudioFormat(CaptureWindowHandle window, const SWaveFormat& format) override;
  std::optional<SCaptureParms> CaptureGetSetup(CaptureWindowHandle window) override;
  bool CaptureSetSetup(CaptureWindowHandle window, const SCaptureParms& parms) override;

  // --- Beyond the driver interface: for the command-line program and status displays ---
  // The devices at indices 0 to 9, looked for anew.
  std::vector<std::shared_ptr<CaptureDevice>> Devices();
  // A device's saved settings, or the defaults.
  DeviceSettings SettingsOf(const CaptureDevice& device) const;
  // The connected device's current settings.
  std::optional<DeviceSettings> ConnectedSettings(CaptureWindowHandle window) const;
  // The last capture sequence of any window, also one whose window is gone.
  std::optional<CaptureOutcome> LastOutcome() const override;
  // Frames drawn by the window's preview or overlay since it was switched on.
  std::uint64_t PreviewFramesShown(CaptureWindowHandle window) const;

 private:
  struct WindowState;

  std::shared_ptr<WindowState> Find(CaptureWindowHandle window) const;
  WindowState* Connected(CaptureWindowHandle window) const;
  const std::vector<std::shared_ptr<CaptureDevice>>& CachedDevices() const;
  bool UpdatePreview(WindowState& window);
  void SaveSettings(WindowState& window);
  CaptureJob MakeJob(const WindowState& window) const;
  bool PrepareCaptureFile(WindowState& window);
  Result<std::unique_ptr<RunningCapture>> StartRecording(const WindowState& window, int fd);
  void RunUntilFinished(CaptureWindowHandle handle, WindowState& window, RunningCapture& pipeline);
  void DeliverFrameNotices(CaptureWindowHandle handle, WindowState& window, RunningCapture& pipeline);
  void HandleAbortInput(const WindowState& window, RunningCapture& pipeline);
  bool FailToStart(WindowState& window, const DriverError& error);
  bool EndSequence(WindowState& window, CaptureOutcome outcome);

  FfmpegDriverServices m_services;
  std::map<std::uint64_t, std::shared_ptr<WindowState>> m_windows;
  std::uint64_t m_nextHandle = 1;
  mutable std::vector<std::shared_ptr<CaptureDevice>> m_devices;  // the last enumeration
  std::shared_ptr<CaptureOutcome> m_lastOutcome;                  // also the window's own, while the window is there
};

}  // namespace tovalen::ffmpeg
