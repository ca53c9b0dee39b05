#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/jpeg_source_planes.h"

namespace tovalen::ffmpeg {

// The recorder's MJPEG encoder before JpegEncoder, kept for jpeg_frame_bench's comparison.
// MJPEG frames from libjpeg-turbo, compressed straight from the source's YUV planes: planar
// 4:2:0, 4:2:2 and 4:4:4, and packed 4:2:2 as cameras send it, always at the source's own
// chroma subsampling. A limited-range source is stretched to the full range JPEG means, so a
// player shows the source's colours. Used on one thread.
class TurboJpegEncoder {
 public:
  // Null when TurboJPEG cannot take the source's pixel format: FFmpeg's encoder takes over.
  static std::unique_ptr<TurboJpegEncoder> Create(const AVCodecParameters& source, int quality);
  ~TurboJpegEncoder();
  TurboJpegEncoder(const TurboJpegEncoder&) = delete;
  TurboJpegEncoder& operator=(const TurboJpegEncoder&) = delete;

  // The stream the AVI file declares: MJPEG at the source's size.
  void DescribeOutput(AVCodecParameters& output) const;
  // Appends the frame's JPEG, placed at the frame's timestamp. Fails when the frame is not in
  // the source's format and size, or TurboJPEG failed.
  Result<> Encode(const AVFrame& frame, std::vector<PacketPtr>& out);

 private:
  struct HandleDeleter {
    void operator()(void* handle) const;
  };
  struct BufferDeleter {
    void operator()(unsigned char* buffer) const;
  };

  TurboJpegEncoder(const AVCodecParameters& source, int subsampling, bool fullRange, int quality);

  AVPixelFormat m_format;  // of the source's frames
  int m_width;
  int m_height;
  int m_subsampling;  // TurboJPEG's TJSAMP_ value
  bool m_fullRange;
  int m_quality;
  AVRational m_aspect;
  std::unique_ptr<void, HandleDeleter> m_handle;
  // Large enough for any frame, so TurboJPEG never reallocates it.
  std::unique_ptr<unsigned char, BufferDeleter> m_jpeg;
  unsigned long m_jpegCapacity = 0;
  std::array<int, 3> m_planeWidths{};
  std::array<int, 3> m_planeHeights{};
  std::optional<jpeg::SourcePlanes> m_source;  // what TurboJPEG reads
};

}  // namespace tovalen::ffmpeg
