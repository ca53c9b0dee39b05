#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "capture/ffmpeg/jpeg_blocks.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace tovalen::ffmpeg::jpeg {

// The three planes a JPEG encoder reads from a source's frame: the frame's own where they can
// be used as they are; else packed 4:2:2 split into planes (the chroma keeps its horizontal
// resolution) and a limited-range source stretched to the full range JPEG means.
class SourcePlanes {
 public:
  // widths and heights: of the JPEG's planes. spareRows: rows a reader may touch past the end
  // of a converted plane (one more byte besides).
  SourcePlanes(AVPixelFormat format, const std::array<int, 3>& widths, const std::array<int, 3>& heights,
               bool fullRange, int spareRows = 0);

  std::array<PlaneView, 3> Planes(const AVFrame& frame);

 private:
  void Stretch(const AVFrame& frame);
  void SplitPacked(const AVFrame& frame);

  AVPixelFormat m_format;
  bool m_fullRange;
  std::array<int, 3> m_widths;
  std::array<int, 3> m_heights;
  std::array<std::vector<std::uint8_t>, 3> m_planes;  // empty while the frame's own are read
  std::array<std::uint8_t, 256> m_lumaLevels{};
  std::array<std::uint8_t, 256> m_chromaLevels{};
};

}  // namespace tovalen::ffmpeg::jpeg
