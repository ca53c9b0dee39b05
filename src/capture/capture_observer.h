#pragma once

#include <cstdint>
#include <string>

namespace tovalen {

// Where a running capture is.
struct CaptureProgress {
  std::string fileName;        // the capture file being recorded
  std::int32_t elapsedMs = 0;  // capture time since the first frame
  std::int64_t frames = 0;     // frames captured so far
};

// Told by the capture controller what its captures do, so that a window can show that one is
// under way (a test capture or a scheduled recording alike). User-interface thread only; the
// frame callbacks that bring the progress keep coming while the capture holds that thread.
class CaptureObserver {
 public:
  virtual ~CaptureObserver() = default;

  // A capture sequence is about to start (no frame yet).
  virtual void OnCaptureStarted(const CaptureProgress& progress) = 0;
  // After every captured frame.
  virtual void OnCaptureProgress(const CaptureProgress& progress) = 0;
  // The capture has ended, saved or failed; once for every start.
  virtual void OnCaptureEnded() = 0;
};

}  // namespace tovalen
