#pragma once

#include <string>

namespace tovalen {

// Why a capture sequence ended. The first reason recorded wins.
enum class StopReason {
  kStopRequested,      // CaptureStop, also from the frame callback
  kUserAbort,          // Escape or a mouse click
  kTerminationSignal,  // SIGINT, SIGTERM or SIGHUP
  kTimeLimit,          // the capture set-up's own time limit
  kDiskFull,
  kFileSizeLimit,
  kWriteFailed,
  kDeviceOpenFailed,
  kDeviceBusy,
  kDeviceLost,     // the device failed or ended its stream
  kDeviceStalled,  // the device stopped delivering frames
  kAudioFailed,
  kEncoderFailed,
  kNothingRecorded,  // ended before the first frame
};

// True for the reasons that make the capture a failure; the others end it as asked.
bool IsFailure(StopReason reason);

// A short English text for traces and the command-line program.
std::string Describe(StopReason reason);

// The reason a failed write maps to: a full disk, the file-size limit, or another failure.
StopReason ReasonForWriteError(int errorNumber);

}  // namespace tovalen
