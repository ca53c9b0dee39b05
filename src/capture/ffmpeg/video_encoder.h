#pragma once

#include <memory>
#include <vector>

#include "capture/device_settings_record.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/jpeg_encoder.h"

namespace tovalen::ffmpeg {

// Turns the device's video packets into the file's: passed through unchanged when the device
// delivers what the file wants (MJPEG to MJPEG), otherwise decoded (or unwrapped), converted to the encoder's
// pixel format and encoded (MJPEG from YUV frames through JpegEncoder, without a conversion). Each
// input packet is placed at a frame slot of the file's time base (one tick per frame). Used on
// one thread.
class VideoEncoder {
 public:
  // Fails when the codec's encoder is missing or cannot be opened.
  static Result<std::unique_ptr<VideoEncoder>> Create(const AVCodecParameters& source, VideoCodec codec, int quality,
                                                      AVRational frameTimeBase);
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  const AVCodecParameters& OutputParameters() const { return *m_output; }
  AVRational TimeBase() const { return m_timeBase; }
  bool IsPassthrough() const { return !m_encoder && !m_jpeg; }
  // Each frame is compressed on its own, so another instance may take the next one.
  bool EncodesFramesAlone() const { return m_jpeg != nullptr; }

  // Appends the file's packets for the source packet, placed at the slot. Fails when the
  // packet could not be decoded or encoded.
  Result<> Encode(const AVPacket& packet, std::int64_t slot, std::vector<PacketPtr>& out);
  // Appends what the encoder still holds.
  Result<> Flush(std::vector<PacketPtr>& out);

 private:
  VideoEncoder() = default;
  Result<> OpenCodecs(const AVCodecParameters& source, VideoCodec codec, int quality);
  Result<> OpenDecoder(const AVCodecParameters& source);
  // Encodes m_decoded and lets it go.
  Result<> EncodeDecoded(std::vector<PacketPtr>& out);
  Result<> EncodeFrame(AVFrame* frame, std::vector<PacketPtr>& out);
  Result<AVFrame*> Converted(AVFrame& decoded);
  Result<> Drain(std::vector<PacketPtr>& out);

  AVRational m_timeBase{1, 1};
  CodecParametersPtr m_output;
  CodecContextPtr m_decoder;  // none for wrapped pictures
  CodecContextPtr m_encoder;
  std::unique_ptr<JpegEncoder> m_jpeg;  // instead of m_encoder where it takes the frames
  ScaleContextPtr m_scaler;
  FramePtr m_decoded;
  FramePtr m_converted;
};

}  // namespace tovalen::ffmpeg
