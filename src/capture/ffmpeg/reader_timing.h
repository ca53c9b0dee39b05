#pragma once

#include <chrono>
#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace tovalen::ffmpeg {

// How long a reader sleeps when a non-blocking device has nothing ready. Short against a frame
// period, long enough not to spin.
inline constexpr std::chrono::milliseconds kDevicePollInterval{4};

// The steady clock in microseconds: capture times are on it.
inline std::int64_t SteadyMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Turns a source's packet timestamps into capture times on the steady clock. The first packet
// is anchored at its arrival and later ones follow their own timestamps, so a late read does
// not move a frame; timestamps that stray more than a second from arrival (a device that
// restarted its clock) are anchored anew. Packets without a timestamp take their arrival.
class CaptureClock {
 public:
  std::int64_t Map(std::int64_t pts, AVRational timeBase, std::int64_t arrivalUs);

 private:
  bool m_anchored = false;
  std::int64_t m_anchorPtsUs = 0;
  std::int64_t m_anchorArrivalUs = 0;
};

}  // namespace tovalen::ffmpeg
