#pragma once

#include <cstdint>
#include <string>

namespace tovalen {

// The parent under which a capture window is made: the GUI passes its view's native window,
// a headless program passes none. Only the driver (and the GUI seams it uses) interpret it.
struct ParentWindowHandle {
  void* native = nullptr;  // not owned

  bool operator==(const ParentWindowHandle&) const = default;
};

// A capture window made by a driver. The value means something only to the driver that made it;
// 0 is never a window.
struct CaptureWindowHandle {
  std::uint64_t value = 0;

  explicit operator bool() const { return value != 0; }
  bool operator==(const CaptureWindowHandle&) const = default;
};

// How the controller asks for its capture window.
struct SCaptureWindowPlacement {
  std::string title;  // "Capture Window Name"
  bool child = true;
  bool visible = true;
  int x = 0;
  int y = 0;
  int width = 320;
  int height = 240;
  int childId = 0;

  bool operator==(const SCaptureWindowPlacement&) const = default;
};

// One installed driver as the driver reports it for an index from 0 to 9.
struct SDriverDescription {
  std::string name;     // at most 79 bytes are kept
  std::string version;  // at most 79 bytes are kept
};

// What the connected driver can do. A flag is non-zero when the feature exists.
struct SCapDriverCaps {
  std::uint32_t wDeviceIndex = 0;
  std::uint32_t fHasOverlay = 0;
  std::uint32_t fHasDlgVideoSource = 0;
  std::uint32_t fHasDlgVideoFormat = 0;
  std::uint32_t fHasDlgVideoDisplay = 0;
};

// The driver's current state. The controller reads the image size; the counters serve status
// displays and the runner's progress.
struct SCapStatus {
  std::uint32_t uiImageWidth = 0;
  std::uint32_t uiImageHeight = 0;
  bool fLiveWindow = false;     // preview is drawing
  bool fOverlayWindow = false;  // overlay is drawing
  bool fCapturingNow = false;
  std::uint32_t dwCurrentVideoFrame = 0;          // frames captured in the current or last sequence
  std::uint32_t dwCurrentVideoFramesDropped = 0;  // frames that could not be written in time
  std::uint32_t dwCurrentWaveSamples = 0;         // audio samples captured
  std::uint32_t dwCurrentTimeElapsedMS = 0;       // time since the sequence began
  std::uint32_t dwReconnects = 0;                 // a network stream connected again
};

// The capture set-up. The controller writes dwRequestMicroSecPerFrame and dwIndexSize and
// writes every other field back exactly as the driver reported it.
struct SCaptureParms {
  std::uint32_t dwRequestMicroSecPerFrame = 66666;  // requested frame period; the file's frame rate
  std::uint32_t dwIndexSize = 0;                    // index entries to reserve in the file
  bool fYield = false;                              // capture on a worker, keep the caller's loop alive
  bool fCaptureAudio = true;                        // record audio when an input exists
  bool fAbortOnEscape = true;                       // Escape ends the sequence
  bool fAbortLeftMouse = true;                      // a left click ends the sequence
  bool fAbortRightMouse = true;                     // a right click ends the sequence
  bool fLimitEnabled = false;                       // wTimeLimit bounds the sequence
  std::uint32_t wTimeLimit = 0;                     // seconds, when fLimitEnabled

  bool operator==(const SCaptureParms&) const = default;
};

// The audio format of a capture: uncompressed PCM.
struct SWaveFormat {
  std::uint16_t wFormatTag = 1;  // 1 = PCM
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
  std::uint16_t cbSize = 0;

  bool operator==(const SWaveFormat&) const = default;
};

// Handed to the frame callback once per captured frame.
struct SVideoHeader {
  std::uint32_t dwTimeCaptured = 0;  // milliseconds since the capture stream began
  std::uint32_t dwBytesUsed = 0;     // size of the frame's data, informational
};

}  // namespace tovalen
