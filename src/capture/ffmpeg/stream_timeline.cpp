#include "capture/ffmpeg/stream_timeline.h"

#include <cstdlib>

extern "C" {
#include <libavutil/avutil.h>
}

namespace tovalen::ffmpeg {

std::int64_t StreamTimeline::Map(std::int64_t streamUs, std::int64_t arrivalUs) {
  if (streamUs == AV_NOPTS_VALUE) return arrivalUs;
  const bool jumped = std::llabs(streamUs - m_lastStreamUs) > kJumpUs;
  const bool fellBehind = streamUs + m_offsetUs < arrivalUs - kJumpUs;
  if (!m_anchored || jumped || fellBehind) {
    m_anchored = true;
    m_offsetUs = arrivalUs - streamUs;
    ++m_anchors;
  }
  m_lastStreamUs = streamUs;
  return streamUs + m_offsetUs;
}

}  // namespace tovalen::ffmpeg
