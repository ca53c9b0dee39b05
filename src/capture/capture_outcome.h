#pragma once

#include <cstdint>
#include <string>

#include "capture/stop_reason.h"

namespace tovalen {

// How the last capture sequence of a driver ended, whatever the driver.
struct CaptureOutcome {
  StopReason reason = StopReason::kStopRequested;
  std::string detail;         // the driver's own words on the reason; may be empty
  bool failed = false;        // the capture itself failed (IsFailure of the reason)
  std::string saveError;      // why the last save of the recording failed; empty when it did not
  std::string recordingPath;  // where what it recorded is; empty when nothing was recorded
  std::uint32_t framesWritten = 0;
  std::uint32_t framesDropped = 0;
  std::uint64_t audioSamples = 0;
  std::uint32_t elapsedMs = 0;
};

// The reason in the user's words (Japanese); the traces keep Describe's English.
const char* DescribeReasonForUser(StopReason reason);

// One line, in Japanese for the user, on why a capture or its save failed, and where what it
// recorded was kept.
std::string DescribeFailure(const CaptureOutcome& outcome);

}  // namespace tovalen
