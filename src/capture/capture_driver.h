#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "capture/capture_driver_records.h"
#include "capture/capture_outcome.h"

namespace tovalen {

// What FinishForExit did.
enum class FinalSave {
  kNothingRunning,  // no sequence was running
  kSaved,           // the running sequence was ended and its recording is at the path
  kNotSaved,        // it was ended, but what it recorded stays beside the path
};

// Called once per captured frame while a capture sequence runs. The result is true; drivers
// ignore it. An empty callback removes the one installed.
using FrameCallback = std::function<bool(CaptureWindowHandle window, const SVideoHeader& header)>;

// A capture device behind a capture window: the controller makes a window, connects one driver
// to it and sends it requests. Every request names the window it is for; the controller checks
// IsWindow before each one and never sends a request to a window that is gone.
//
// Everything is called on the user-interface thread. Results are true on success unless a
// comment says otherwise. Operations whose result the controller does not use return nothing.
class CaptureDriver {
 public:
  // Drivers are found at these indices.
  static constexpr int kMaxDrivers = 10;
  // The longest name or version text kept, in bytes.
  static constexpr std::size_t kMaxDescriptionBytes = 79;

  virtual ~CaptureDriver() = default;

  // --- The capture window ---------------------------------------------------------------------

  // Makes a capture window under the parent; an empty handle on failure.
  virtual CaptureWindowHandle CreateCaptureWindow(const SCaptureWindowPlacement& placement,
                                                  ParentWindowHandle parent) = 0;
  // Ends a sequence, connection, preview and overlay of the window and destroys it.
  virtual bool DestroyWindow(CaptureWindowHandle window) = 0;
  // Whether the handle names a window that still exists.
  virtual bool IsWindow(CaptureWindowHandle window) const = 0;
  // New size only: the position and stacking order are kept.
  virtual bool ResizeWindow(CaptureWindowHandle window, int width, int height) = 0;

  // --- Drivers and connection -----------------------------------------------------------------

  // The name and version of the driver at an index from 0 to kMaxDrivers - 1, or nothing when
  // no driver has that index. Needs no window.
  virtual std::optional<SDriverDescription> GetDriverDescription(int index) const = 0;
  // Connects the driver at that index to the window (a connected one is replaced).
  virtual bool DriverConnect(CaptureWindowHandle window, int driverIndex) = 0;
  virtual bool DriverDisconnect(CaptureWindowHandle window) = 0;
  // The connected driver's capabilities, or nothing when it cannot tell.
  virtual std::optional<SCapDriverCaps> DriverGetCaps(CaptureWindowHandle window) = 0;
  // The connected driver's state (image size, counters), or nothing on failure.
  virtual std::optional<SCapStatus> GetStatus(CaptureWindowHandle window) = 0;

  // --- The driver's own dialogs: each returns when the modal dialog closes ---------------------

  virtual void DlgVideoFormat(CaptureWindowHandle window) = 0;       // frame size and pixel format
  virtual void DlgVideoSource(CaptureWindowHandle window) = 0;       // input and picture controls
  virtual void DlgVideoDisplay(CaptureWindowHandle window) = 0;      // how frames are shown
  virtual void DlgVideoCompression(CaptureWindowHandle window) = 0;  // codec and quality

  // --- Live picture ---------------------------------------------------------------------------

  virtual void SetPreviewRate(CaptureWindowHandle window, int millisecondsPerFrame) = 0;
  // Frames drawn by the system at the preview rate.
  virtual bool Preview(CaptureWindowHandle window, bool on) = 0;
  // Frames drawn by the device, every frame.
  virtual bool Overlay(CaptureWindowHandle window, bool on) = 0;

  // --- Capture --------------------------------------------------------------------------------

  // The file the next sequence records into. A file already at that path must survive a
  // capture that fails: record beside it and replace it only when the capture is saved.
  virtual bool FileSetCaptureFile(CaptureWindowHandle window, const std::string& path) = 0;
  // Reserves space for the capture file.
  virtual bool FileAlloc(CaptureWindowHandle window, std::uint64_t bytes) = 0;
  virtual void SetCallbackOnVideoStream(CaptureWindowHandle window, FrameCallback callback) = 0;
  // Records into the capture file and returns only when the capture has ended: after
  // CaptureStop (also one made from inside the frame callback), or when the user ends it
  // (Escape or a mouse click in the GUI, a termination signal in the command-line program).
  // The frame callback runs on the calling thread, in frame order, during this call.
  // True when the capture ran and its file was finalised.
  virtual bool CaptureSequence(CaptureWindowHandle window) = 0;
  // Asks the running sequence to end; harmless when none runs.
  virtual bool CaptureStop(CaptureWindowHandle window) = 0;
  // Saves what the last sequence recorded under the path.
  virtual bool FileSaveAs(CaptureWindowHandle window, const std::string& path) = 0;
  // How the last sequence that ran ended, with the result of saving it; kept when its window
  // is gone. Nothing before the first sequence.
  virtual std::optional<CaptureOutcome> LastOutcome() const = 0;
  // For a process that is about to end without returning to its loop (the display is gone):
  // ends the running sequence, finishes its file and saves it under the path, without calling
  // the frame callback. A driver that cannot do this saves nothing.
  virtual FinalSave FinishForExit(CaptureWindowHandle /*window*/, const std::string& /*path*/) {
    return FinalSave::kNothingRunning;
  }

  // --- Settings -------------------------------------------------------------------------------

  virtual bool SetAudioFormat(CaptureWindowHandle window, const SWaveFormat& format) = 0;
  virtual std::optional<SCaptureParms> CaptureGetSetup(CaptureWindowHandle window) = 0;
  virtual bool CaptureSetSetup(CaptureWindowHandle window, const SCaptureParms& parms) = 0;
};

}  // namespace tovalen
