#include "capture/ffmpeg/driver_result.h"

#include <cstring>

#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

DriverError AvFailure(StopReason reason, const std::string& what, int code) {
  return {reason, what + ": " + AvErrorText(code) + " (error " + std::to_string(code) + ")"};
}

DriverError SystemFailure(StopReason reason, const std::string& what, int errorNumber) {
  return {reason, what + ": " + std::strerror(errorNumber) + " (errno " + std::to_string(errorNumber) + ")"};
}

}  // namespace tovalen::ffmpeg
