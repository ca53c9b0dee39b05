#include "capture/ffmpeg/reader_timing.h"

#include <cstdlib>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace tovalen::ffmpeg {
namespace {

constexpr std::int64_t kMaxStrayUs = 1'000'000;

}  // namespace

std::int64_t CaptureClock::Map(std::int64_t pts, AVRational timeBase, std::int64_t arrivalUs) {
  if (pts == AV_NOPTS_VALUE) return arrivalUs;
  const std::int64_t ptsUs = av_rescale_q(pts, timeBase, AVRational{1, 1'000'000});
  std::int64_t mapped = m_anchorArrivalUs + (ptsUs - m_anchorPtsUs);
  if (!m_anchored || std::llabs(mapped - arrivalUs) > kMaxStrayUs) {
    m_anchored = true;
    m_anchorPtsUs = ptsUs;
    m_anchorArrivalUs = arrivalUs;
    mapped = arrivalUs;
  }
  return mapped;
}

}  // namespace tovalen::ffmpeg
