#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/ffmpeg/avi_leftover_reader.h"
#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

// A stream of a leftover as it will be written again: its parameters and packet time base.
struct LeftoverStream {
  int index = -1;  // in the leftover
  CodecParametersPtr parameters;
  AVRational timeBase{1, 1};
  // What in its header had to be assumed or taken from its frames; empty when nothing.
  std::string repaired;
};

// Tells whether a frame of a video stream decodes, with allocations bounded by the pixels the
// stream may have.
class FrameCheck {
 public:
  static std::optional<FrameCheck> Open(const AVCodecParameters& parameters, std::int64_t mostPixels);
  // True when the packet decodes without an error; `key` when it is a key frame.
  bool Decodes(const std::uint8_t* data, std::size_t size, bool& key);
  bool IntraOnly() const { return m_intraOnly; }
  int PixelFormat() const { return m_context->pix_fmt; }

 private:
  CodecContextPtr m_context;
  FramePtr m_frame = MakeFrame();
  PacketPtr m_packet = MakePacket();
  bool m_intraOnly = false;
};

// The video stream from its header; when the header's codec does not decode `firstFrame`, the
// codec the frame itself shows (JPEG) with the repair said. Nothing when neither works.
std::optional<LeftoverStream> VideoStreamOf(const LeftoverStreamHeader& header, int index,
                                            const std::vector<std::uint8_t>& firstFrame, std::int64_t mostPixels);

// The audio stream from its header: PCM whose values agree with each other, or nothing.
std::optional<LeftoverStream> AudioStreamOf(const LeftoverStreamHeader& header, int index);

// The most pixels a frame of a file of this size may have: more would not fit in it even as
// the most compressed JPEG, and a damaged size must not drive a decoder to allocate gigabytes.
std::int64_t MostPixelsFor(std::uint64_t fileBytes);

}  // namespace tovalen::ffmpeg
