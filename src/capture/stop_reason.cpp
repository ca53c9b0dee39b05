#include "capture/stop_reason.h"

#include <cerrno>

namespace tovalen {

bool IsFailure(StopReason reason) {
  switch (reason) {
    case StopReason::kStopRequested:
    case StopReason::kUserAbort:
    case StopReason::kTerminationSignal:
    case StopReason::kTimeLimit:
      return false;
    default:
      return true;
  }
}

std::string Describe(StopReason reason) {
  switch (reason) {
    case StopReason::kStopRequested:
      return "stopped as requested";
    case StopReason::kUserAbort:
      return "ended by the user";
    case StopReason::kTerminationSignal:
      return "ended by a termination signal";
    case StopReason::kTimeLimit:
      return "time limit reached";
    case StopReason::kDiskFull:
      return "the disk is full";
    case StopReason::kFileSizeLimit:
      return "the file reached the size limit";
    case StopReason::kWriteFailed:
      return "the capture file could not be written";
    case StopReason::kDeviceOpenFailed:
      return "the capture device could not be opened";
    case StopReason::kDeviceBusy:
      return "the capture device is busy";
    case StopReason::kDeviceLost:
      return "the capture device stopped working";
    case StopReason::kDeviceStalled:
      return "the capture device stopped delivering frames";
    case StopReason::kAudioFailed:
      return "the audio input failed";
    case StopReason::kEncoderFailed:
      return "the video could not be encoded";
    case StopReason::kNothingRecorded:
      return "nothing was recorded";
  }
  return "unknown";
}

StopReason ReasonForWriteError(int errorNumber) {
  if (errorNumber == ENOSPC || errorNumber == EDQUOT) return StopReason::kDiskFull;
  if (errorNumber == EFBIG) return StopReason::kFileSizeLimit;
  return StopReason::kWriteFailed;
}

}  // namespace tovalen
