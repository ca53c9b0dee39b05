#pragma once

#include <cstdint>
#include <string>

#include "capture/stop_reason.h"

namespace tovalen {

// How a capture sequence went, whatever the driver: counted while it runs, completed where it
// ends, and kept per capture window. A new counter goes here and nowhere else.
struct CaptureOutcome {
  StopReason reason = StopReason::kStopRequested;
  std::string detail;  // the driver's own words on the reason; may be empty
  // The device stalled or failed (the reason says which) but the capture went on to its end:
  // what the device delivered is the recording, not a failure.
  bool interrupted = false;
  std::string saveError;      // why the last save of the recording failed; empty when it did not
  std::string recordingPath;  // where what it recorded is; empty when nothing was recorded

  // Every captured frame ends up written or dropped at one of the two stages; a frame after the
  // stop, or a second frame for one frame slot of the file, is not captured.
  std::uint32_t framesCaptured = 0;
  std::uint32_t droppedAtCapture = 0;  // the encoder had no room, or had failed
  std::uint32_t droppedAtWrite = 0;    // the writer had no room, or had stopped writing
  std::uint32_t framesWritten = 0;     // video frames the file took
  std::uint32_t skippedForRate = 0;    // not captured: a second frame for one frame slot
  std::uint64_t audioSamples = 0;
  std::uint32_t audioPacketsDropped = 0;
  std::uint32_t noticesDropped = 0;  // frame callbacks lost while the caller's thread was away
  std::uint32_t reconnects = 0;      // a network stream connected again after it stalled or failed
  std::uint32_t elapsedMs = 0;

  std::uint32_t FramesDropped() const { return droppedAtCapture + droppedAtWrite; }
  // The capture itself failed; a failed save is told by saveError.
  bool Failed() const { return IsFailure(reason) && !interrupted; }
};

// The reason in the user's words (Japanese); the traces keep Describe's English.
const char* DescribeReasonForUser(StopReason reason);

// One line, in Japanese for the user, on why a capture or its save failed, and where what it
// recorded was kept.
std::string DescribeFailure(const CaptureOutcome& outcome);

}  // namespace tovalen
