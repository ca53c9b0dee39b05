#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/stream_packet_buffer.h"

namespace tovalen::ffmpeg {

// The raw form a session hands a stream's picture or sound on in: rawvideo of one pixel format
// and size, or interleaved 16-bit PCM of one rate and channel count, whatever a later connection
// sends. Timestamps stay the packets' own (steady microseconds).
CodecParametersPtr RawPictureParameters(int width, int height, AVPixelFormat format);
CodecParametersPtr RawSoundParameters(int sampleRate, int channels);

// Decodes one stream's packets, connection after connection, into packets of the raw form. A
// packet that does not decode is skipped: the decoder takes up again at the next it can.
// Used by one thread at a time.
class StreamDecoder {
 public:
  explicit StreamDecoder(CodecParametersPtr output) : m_output(std::move(output)) {}
  ~StreamDecoder();

  const AVCodecParameters& Output() const { return *m_output; }
  // Appends the raw packets of what the packet completes.
  void Decode(const StreamPacket& packet, std::deque<PacketPtr>& out);
  std::uint64_t Failures() const { return m_failures; }

 private:
  bool OpenFor(const StreamPacket& packet);
  void Convert(AVFrame& frame, std::deque<PacketPtr>& out);
  void ConvertPicture(AVFrame& frame, std::deque<PacketPtr>& out);
  void ConvertSound(AVFrame& frame, std::deque<PacketPtr>& out);

  CodecParametersPtr m_output;
  CodecContextPtr m_decoder;
  std::uint64_t m_connection = UINT64_MAX;
  FramePtr m_frame = MakeFrame();
  ScaleContextPtr m_scaler;
  ResampleContextPtr m_resampler;
  AVChannelLayout m_resamplerLayout{};
  int m_resamplerRate = 0;
  int m_resamplerFormat = -1;
  std::uint64_t m_failures = 0;
};

}  // namespace tovalen::ffmpeg
