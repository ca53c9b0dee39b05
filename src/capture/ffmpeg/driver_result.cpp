#include "capture/ffmpeg/driver_result.h"

#include "capture/ffmpeg/ffmpeg_handles.h"
#include "platform/system_error_text.h"

namespace tovalen::ffmpeg {

DriverError AvFailure(StopReason reason, const std::string& what, int code) {
  return {reason, what + ": " + AvErrorText(code) + " (error " + std::to_string(code) + ")"};
}

DriverError SystemFailure(StopReason reason, const std::string& what, int errorNumber) {
  return {reason, DescribeSystemError(what, errorNumber) + " (errno " + std::to_string(errorNumber) + ")", errorNumber};
}

DriverError SystemRefused(StopReason reason, const std::string& what, int errorNumber) {
  return {reason, DescribeSystemError(what, errorNumber), errorNumber};
}

}  // namespace tovalen::ffmpeg
