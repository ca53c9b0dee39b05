#pragma once

#include <cstdint>
#include <string>

namespace tovalen {

// Where a running capture is.
struct CaptureProgress {
  std::string fileName;          // the capture file being recorded
  std::int32_t elapsedMs = 0;    // capture time since the first frame
  std::int64_t frames = 0;       // frames captured so far
  std::uint32_t reconnects = 0;  // a network stream connected again
};

// Everything the capture controller tells about its captures beyond the active runner's calls
// (CActiveRunner): that one runs, how far it is, and whether it ends before its recording time.
// Whoever composes the program hands one listener to the controller (CVideoCap::
// SetCaptureListener): the main window, to show that a capture runs; the recording runner puts
// its own in front of that one for each recording and passes these calls on to it.
// User-interface thread only; the frame callbacks that bring the progress keep coming while the
// capture holds that thread.
class CaptureListener {
 public:
  virtual ~CaptureListener() = default;

  // A capture sequence is about to start (no frame yet).
  virtual void OnCaptureStarted(const CaptureProgress& progress) = 0;
  // After every captured frame.
  virtual void OnCaptureProgress(const CaptureProgress& progress) = 0;
  // The capture has ended, saved or failed, and Capture is about to return; once for every
  // start.
  virtual void OnCaptureEnded() = 0;
  // Asked for every frame of a capture the active runner bounds, after its recording time:
  // whether the capture ends now, before that time and the second after it have passed, because
  // the reservation's own end has come (another follows at once, or it started late).
  virtual bool HasReachedItsEnd() const { return false; }
};

}  // namespace tovalen
