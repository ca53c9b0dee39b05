#pragma once

#include <cstdint>

namespace tovalen::ffmpeg {

// Maps one connection's timestamps (microseconds of the stream's own clock) onto the steady
// clock. The first packet is anchored at its arrival and later ones follow their own timestamps,
// so a burst keeps the spacing it was sent with. The clock is anchored anew at the next packet's
// arrival when it jumps more than a few seconds from the last packet's (a jump either way, a
// wrap, a restart of the sender), or when it has fallen that far behind the arrivals (the
// sender paused): the time without packets stays a gap instead of being played out late.
// Picture and sound share one timeline, so they stay together.
class StreamTimeline {
 public:
  static constexpr std::int64_t kJumpUs = 3'000'000;

  // Steady microseconds for a packet whose timestamp is streamUs (AV_NOPTS_VALUE: its arrival).
  std::int64_t Map(std::int64_t streamUs, std::int64_t arrivalUs);
  // How often it has anchored: once per connection, once more per jump.
  int Anchors() const { return m_anchors; }

 private:
  bool m_anchored = false;
  std::int64_t m_offsetUs = 0;  // steady minus stream
  std::int64_t m_lastStreamUs = 0;
  int m_anchors = 0;
};

}  // namespace tovalen::ffmpeg
