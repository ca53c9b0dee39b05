#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_driver.h"
#include "capture/capture_listener.h"
#include "capture/capture_user_interface.h"
#include "capture/s_cap_driver_info.h"
#include "schedule/capture_settings.h"

namespace tovalen {

class ArchiveReader;
class ArchiveWriter;

// What the controller works through, given to it once at start-up.
struct CaptureServices {
  std::unique_ptr<CaptureDriver> driver;
  std::unique_ptr<CaptureUserInterface> ui;
};

// The one capture controller of the process: it owns the capture window, the connection to
// one capture driver and the capture settings. Operations return true on success and report
// failures through traces; only device selection and the capture file check talk to the user.
// All calls come from the user-interface thread.
class CVideoCap {
 public:
  // Gives the controller its driver and user interface. Call once, before the first
  // GetInstance; throws std::logic_error when the controller exists already or a service is
  // missing.
  static void Install(CaptureServices services);
  // The controller, made on the first call from the installed services; the same object on
  // every later call, until the process ends. Throws std::logic_error when nothing was
  // installed.
  static CVideoCap& GetInstance();

  virtual ~CVideoCap();
  CVideoCap(const CVideoCap&) = delete;
  CVideoCap& operator=(const CVideoCap&) = delete;

  // --- Capture window and connection ------------------------------------------------------------
  bool CreateCaptureWindow(ParentWindowHandle parent);
  bool DestroyCaptureWindow();
  // Fits the window to the driver's current image size.
  bool ResizeCapWindow();
  // Connects the driver m_iCapDriverId to the window.
  bool Connect();
  bool Disconnect();
  // Releases the device between recordings, unless it is to stay connected.
  bool Standby();
  // Makes the device ready for a recording: window, connection, audio format, capture set-up.
  bool WakeUp(ParentWindowHandle parent);
  bool IsConnected() const { return m_bConnected; }
  bool IsReadyToRecord() const;

  // --- Devices ----------------------------------------------------------------------------------
  bool EnumCapDrivers();
  int GetCapDeviceCount() const { return static_cast<int>(m_capDrivers.size()); }
  // The record at a list position, or null; valid until the next enumeration.
  const SCapDriverInfo* GetCapDeviceInfo(std::int32_t position) const;
  // Lets the user choose a device and connects it.
  bool SelectCapDriver(ParentWindowHandle parent);

  // --- Capture file and sequence ----------------------------------------------------------------
  // Asks the user for a capture file name; true with the path when one was confirmed.
  bool QueryCaptureFileName(std::string& path);
  // Stores the path (when one is given), checks that its folder can be written and sets it as
  // the capture file. An empty path reuses the stored name.
  bool SetCaptureFileName(const std::string& path);
  bool PreallocateCaptureFile();
  // Runs a capture into the capture file and saves it; returns when the capture has ended.
  bool Capture();
  // How the capture sequence of the last Capture ended and whether it was saved; nothing when
  // that Capture did not reach the sequence.
  const std::optional<CaptureOutcome>& LastCaptureOutcome() const { return m_lastOutcome; }
  bool StopCapture();
  // The process is about to end without returning to its loop (the display is gone): ends the
  // running capture and saves it under the capture file's name. Neither the listener nor the
  // runner hears of it; nothing of the user interface is touched.
  FinalSave FinishCaptureForExit();
  bool ResetCaptureClock();
  // Per frame: measures the capture and stops it once the active runner's recording time is over.
  bool OnCaptureFrame(std::int32_t timeCapturedMs);
  // The frame callback installed in the driver; reaches the controller through GetInstance.
  static bool VideoStreamCallback(CaptureWindowHandle window, const SVideoHeader& header);
  // Who is told when captures start, progress and end, and asked whether one has reached its end
  // (not owned); null for nobody. Returns the listener it replaces.
  CaptureListener* SetCaptureListener(CaptureListener* listener) { return std::exchange(m_listener, listener); }

  // --- Settings ---------------------------------------------------------------------------------
  bool SetAudioFormat();
  bool SetAudioProperty(const SAudioProperty& property);
  SAudioProperty GetAudioProperty() const { return m_audioProperty; }
  bool SetVideoOption();
  bool SetVideoOption(const SVideoOption& option);
  SVideoOption GetVideoOption() const { return m_videoOption; }

  // The persisted settings: video option, audio property, selected driver.
  SCaptureSettings GetCaptureSettings() const;
  // Replaces the three persisted settings; connects nothing and applies nothing.
  void SetCaptureSettings(const SCaptureSettings& settings);
  void Serialize(ArchiveWriter& archive) const;
  // Replaces the settings only when the whole block was read; throws ArchiveError otherwise.
  void Serialize(ArchiveReader& archive);

  // --- Preview, overlay, driver dialogs, status -------------------------------------------------
  bool EnablePreview();
  bool DisablePreview();
  bool TogglePreview();
  bool EnableOverlay();
  bool DisableOverlay();
  bool ToggleOverlay();
  bool IsPreviewOn() const { return m_bPreview; }
  bool IsOverlayOn() const { return m_bOverlay; }
  bool CanOverlay() const;
  bool CanDlgVideoFormat() const;
  bool CanDlgVideoSource() const;
  bool CanDlgVideoOut() const;
  bool DlgVideoFormat();
  bool DlgVideoSource();
  bool DlgVideoOut();
  bool DlgVideoCompression();
  std::string GetStatusReport() const;

  // --- State, for status displays and tests -----------------------------------------------------
  CaptureWindowHandle GetCaptureWindow() const { return m_hWndC; }
  std::int32_t GetCapDriverId() const { return m_iCapDriverId; }
  const std::string& GetCaptureFileName() const { return m_strCaptureFileName; }
  bool IsCapturing() const { return m_bCapturing; }
  bool AreCapsValid() const { return m_bCapsValid; }
  std::int32_t GetFirstFrameTime() const { return m_lFirstFrameTime; }
  std::int32_t GetElapsed() const { return m_lElapsed; }

 private:
  // Tests replace the process-wide controller between cases through this class (defined in
  // the tests only); the program has no way to do so.
  friend class CVideoCapTestAccess;

  explicit CVideoCap(CaptureServices services);

  static std::unique_ptr<CVideoCap>& Instance();
  static CaptureServices& PendingServices();
  static std::unique_ptr<CVideoCap> MakeFromPendingServices();

  // The liveness check made before every request to the driver.
  bool WindowAlive() const;
  // The capability rule: connected, and either the capabilities are unknown or the flag is set.
  bool HasCapability(std::uint32_t flag) const;
  void ShowMessage(const std::string& text) const;
  CaptureProgress Progress() const;
  // Takes the driver's count of reconnects of the running capture, tracing each change.
  void ReadReconnects();
  // Runs the capture sequence and saves it; Capture tells the listener around it.
  bool CaptureAndSave();
  // Run the driver's sequence and its save, each keeping the driver's account of the capture.
  bool RunCaptureSequence();
  bool SaveCapture();
  // With an active runner, the capture set-up's time limit ends the sequence shortly after the
  // recording time even when no frame comes to stop it; returns the set-up to restore after.
  std::optional<SCaptureParms> BoundCaptureByRecordTime();
  // Traces why the last capture failed, when the driver said.
  void TraceCaptureFailure() const;

  std::unique_ptr<CaptureDriver> m_driver;
  std::unique_ptr<CaptureUserInterface> m_ui;

  CaptureWindowHandle m_hWndC;
  std::int32_t m_iCapDriverId = -1;
  std::vector<SCapDriverInfo> m_capDrivers;
  bool m_bPreview = false;
  bool m_bOverlay = false;
  bool m_bCapturing = false;
  bool m_bCapsValid = false;
  bool m_bConnected = false;
  std::string m_strCaptureFileName;
  std::int32_t m_lFirstFrameTime = -1;
  std::int32_t m_lElapsed = 0;
  std::int64_t m_framesCaptured = 0;
  std::uint32_t m_reconnects = 0;         // of the running or last capture
  CaptureListener* m_listener = nullptr;  // not owned
  SCapDriverCaps m_caps;
  SAudioProperty m_audioProperty;
  SVideoOption m_videoOption;
  std::optional<CaptureOutcome> m_lastOutcome;
};

}  // namespace tovalen
