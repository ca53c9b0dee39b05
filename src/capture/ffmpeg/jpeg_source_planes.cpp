#include "capture/ffmpeg/jpeg_source_planes.h"

#include <algorithm>
#include <cmath>

namespace tovalen::ffmpeg::jpeg {
namespace {

// Each level of the limited range (luma 16-235, chroma 16-240 around 128) on the full range.
std::array<std::uint8_t, 256> FullRangeLevels(int limitedZero, int fullZero, double scale) {
  std::array<std::uint8_t, 256> levels{};
  for (int level = 0; level < 256; ++level) {
    const long full = std::lround((level - limitedZero) * scale) + fullZero;
    levels[static_cast<std::size_t>(level)] = static_cast<std::uint8_t>(std::clamp(full, 0L, 255L));
  }
  return levels;
}

}  // namespace

SourcePlanes::SourcePlanes(AVPixelFormat format, const std::array<int, 3>& widths, const std::array<int, 3>& heights,
                           bool fullRange, int spareRows)
    : m_format(format), m_fullRange(fullRange), m_widths(widths), m_heights(heights) {
  const bool packed = m_format == AV_PIX_FMT_YUYV422;
  if (!packed && m_fullRange) return;  // the frame's own planes are read as they are
  for (std::size_t plane = 0; plane < 3; ++plane)
    m_planes[plane].resize(static_cast<std::size_t>(m_widths[plane]) * (m_heights[plane] + spareRows) +
                           (spareRows ? 1 : 0));
  if (m_fullRange) {
    for (int level = 0; level < 256; ++level)
      m_lumaLevels[static_cast<std::size_t>(level)] = m_chromaLevels[static_cast<std::size_t>(level)] =
          static_cast<std::uint8_t>(level);
  } else {
    m_lumaLevels = FullRangeLevels(16, 0, 255.0 / 219);
    m_chromaLevels = FullRangeLevels(128, 128, 255.0 / 224);
  }
}

void SourcePlanes::Stretch(const AVFrame& frame) {
  for (std::size_t plane = 0; plane < 3; ++plane) {
    const auto& levels = plane == 0 ? m_lumaLevels : m_chromaLevels;
    const auto width = static_cast<std::size_t>(m_widths[plane]);
    for (int row = 0; row < m_heights[plane]; ++row) {
      const std::uint8_t* source = frame.data[plane] + static_cast<std::ptrdiff_t>(row) * frame.linesize[plane];
      std::uint8_t* target = m_planes[plane].data() + row * width;
      for (std::size_t x = 0; x < width; ++x) target[x] = levels[source[x]];
    }
  }
}

// Y0 U Y1 V per pair of pixels into three planes.
void SourcePlanes::SplitPacked(const AVFrame& frame) {
  const auto width = static_cast<std::size_t>(m_widths[0]);
  const auto chromaWidth = static_cast<std::size_t>(m_widths[1]);
  for (int row = 0; row < m_heights[0]; ++row) {
    const std::uint8_t* pair = frame.data[0] + static_cast<std::ptrdiff_t>(row) * frame.linesize[0];
    std::uint8_t* luma = m_planes[0].data() + row * width;
    std::uint8_t* blue = m_planes[1].data() + row * chromaWidth;
    std::uint8_t* red = m_planes[2].data() + row * chromaWidth;
    for (std::size_t x = 0; x < chromaWidth; ++x, pair += 4) {
      luma[2 * x] = m_lumaLevels[pair[0]];
      if (2 * x + 1 < width) luma[2 * x + 1] = m_lumaLevels[pair[2]];
      blue[x] = m_chromaLevels[pair[1]];
      red[x] = m_chromaLevels[pair[3]];
    }
  }
}

std::array<PlaneView, 3> SourcePlanes::Planes(const AVFrame& frame) {
  if (m_format == AV_PIX_FMT_YUYV422)
    SplitPacked(frame);
  else if (!m_fullRange)
    Stretch(frame);
  std::array<PlaneView, 3> planes;
  for (std::size_t plane = 0; plane < 3; ++plane) {
    const bool converted = !m_planes[plane].empty();
    planes[plane] = {converted ? m_planes[plane].data() : frame.data[plane],
                     converted ? m_widths[plane] : frame.linesize[plane], m_widths[plane], m_heights[plane]};
  }
  return planes;
}

}  // namespace tovalen::ffmpeg::jpeg
