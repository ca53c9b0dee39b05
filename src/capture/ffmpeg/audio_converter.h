#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/capture_driver_records.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

// Turns the audio input's packets into PCM packets exactly in the requested format (rate,
// 8 or 16 bits, mono or stereo), laid out on the capture clock: sound from before the stream
// began is cut, a late start or a gap of lost packets is filled with silence, and nothing is
// written past the end of the video. Used on one thread.
class AudioConverter {
 public:
  // Fails when the formats cannot be converted.
  static Result<std::unique_ptr<AudioConverter>> Create(const AVCodecParameters& source, const SWaveFormat& target);
  ~AudioConverter();
  AudioConverter(const AudioConverter&) = delete;
  AudioConverter& operator=(const AudioConverter&) = delete;

  const AVCodecParameters& OutputParameters() const { return *m_output; }
  AVRational TimeBase() const { return {1, m_rate}; }
  std::uint64_t SamplesWritten() const { return m_written; }

  // Appends the PCM packets for a source packet whose first sample was captured at captureUs.
  // streamStartUs is the capture time of the first video frame; endUs, where the video ends
  // (or INT64_MAX while it is not known).
  Result<> Convert(const AVPacket& packet, std::int64_t captureUs, std::int64_t streamStartUs, std::int64_t endUs,
                   std::vector<PacketPtr>& out);
  // Appends silence up to endUs, so that sound that stopped early lasts as long as the video.
  Result<> FillTo(std::int64_t streamStartUs, std::int64_t endUs, std::vector<PacketPtr>& out);

 private:
  AudioConverter() = default;
  Result<> Open(const AVCodecParameters& source, const SWaveFormat& target);
  Result<> OpenDecoder(const AVCodecParameters& source);
  Result<> OpenEncoder(int channels);
  Result<> OpenResampler();
  Result<> Place(std::int64_t captureUs, std::int64_t streamStartUs, std::int64_t endUs, std::vector<PacketPtr>& out);
  Result<> Emit(const std::uint8_t* samples, std::int64_t count, std::vector<PacketPtr>& out);
  Result<> EmitSilence(std::int64_t count, std::vector<PacketPtr>& out);
  std::int64_t ToSamples(std::int64_t microseconds) const;

  int m_rate = 0;
  int m_blockAlign = 0;
  AVSampleFormat m_format = AV_SAMPLE_FMT_NONE;
  CodecParametersPtr m_output;
  CodecContextPtr m_decoder;
  CodecContextPtr m_encoder;
  ResampleContextPtr m_resampler;
  FramePtr m_decoded;
  std::vector<std::uint8_t> m_converted;  // interleaved samples of the last decoded frame
  std::int64_t m_convertedCount = 0;
  std::uint64_t m_written = 0;
};

}  // namespace tovalen::ffmpeg
