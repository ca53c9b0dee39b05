#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/jpeg_blocks.h"
#include "capture/ffmpeg/jpeg_source_planes.h"
#include "capture/ffmpeg/jpeg_tables.h"

namespace tovalen::ffmpeg {

namespace jpeg {
class JpegWriter;
}  // namespace jpeg

// How JpegEncoder trades bytes for picture and time; the defaults are what the recorder uses.
struct JpegTuning {
  double rounding = 0.3;  // see BlockCoder::Create
  jpeg::TableShape shape = jpeg::TableShape::kFlat;
  // Huffman tables are built from the symbols of every this many frames, and of the next frame
  // after one whose size strays far from the counted one's; the frames between reuse them
  // (successive frames are alike), so each table then has a code for every symbol.
  int tablesEvery = 32;
};

// MJPEG frames compressed straight from the source's YUV planes: planar 4:2:0, 4:2:2 and 4:4:4,
// and packed 4:2:2 as cameras send it, always at the source's own chroma subsampling. A
// limited-range source is stretched to the full range JPEG means, so a player shows the
// source's colours. Each frame carries its own quantisation and Huffman tables, built for it
// (or for a recent frame of this encoder), so it decodes alone. Used on one thread.
class JpegEncoder {
 public:
  // Null when the source's pixel format is not one of those: FFmpeg's encoder takes over.
  static std::unique_ptr<JpegEncoder> Create(const AVCodecParameters& source, int quality, JpegTuning tuning = {});
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // The stream the AVI file declares: MJPEG at the source's size.
  void DescribeOutput(AVCodecParameters& output) const;
  // Appends the frame's JPEG, placed at the frame's timestamp. Fails when the frame is not in
  // the source's format and size, or libjpeg failed.
  Result<> Encode(const AVFrame& frame, std::vector<PacketPtr>& out);

 private:
  JpegEncoder(const AVCodecParameters& source, int shiftX, int shiftY, bool fullRange, int quality, JpegTuning tuning);
  bool Compress(const std::array<jpeg::PlaneView, 3>& planes);
  void SetHuffmanTables(const std::array<jpeg::SymbolCounts, 4>& counts);

  AVPixelFormat m_format;  // of the source's frames
  int m_width;
  int m_height;
  int m_chromaShiftX;  // log2 of the chroma's step across and down: 4:2:0 is 1 and 1
  int m_chromaShiftY;
  bool m_fullRange;
  JpegTuning m_tuning;
  AVRational m_aspect;
  jpeg::QuantTables m_steps;
  std::unique_ptr<jpeg::BlockCoder> m_coder;
  std::array<jpeg::BlockGrid, 3> m_grids{};
  std::int64_t m_frames = 0;
  bool m_countNext = true;              // the next frame's symbols build the Huffman tables
  std::size_t m_countedFrameBytes = 0;  // the size of the frame they were built from

  std::unique_ptr<jpeg::JpegWriter> m_writer;

  std::array<int, 3> m_planeWidths{};
  std::array<int, 3> m_planeHeights{};
  std::optional<jpeg::SourcePlanes> m_source;  // what the DCT reads
};

}  // namespace tovalen::ffmpeg
