#pragma once

#include <memory>
#include <string>
#include <vector>

#include "capture/ffmpeg/device_settings_record.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/turbojpeg_encoder.h"

namespace tovalen::ffmpeg {

// Turns the device's video packets into the file's: passed through unchanged when the device
// delivers what the file wants (MJPEG to MJPEG), otherwise decoded, converted to the encoder's
// pixel format and encoded (MJPEG from YUV frames through TurboJPEG, without a conversion). Each
// input packet is placed at a frame slot of the file's time base (one tick per frame). Used on
// one thread.
class VideoEncoder {
 public:
  // Null with the reason in `error` when the codec's encoder is missing or cannot be opened.
  static std::unique_ptr<VideoEncoder> Create(const AVCodecParameters& source, VideoCodec codec, int quality,
                                              AVRational frameTimeBase, std::string& error);
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  const AVCodecParameters& OutputParameters() const { return *m_output; }
  AVRational TimeBase() const { return m_timeBase; }
  bool IsPassthrough() const { return !m_encoder && !m_jpeg; }

  // Appends the file's packets for the source packet, placed at the slot. False when the
  // packet could not be decoded or encoded.
  bool Encode(const AVPacket& packet, std::int64_t slot, std::vector<PacketPtr>& out);
  // Appends what the encoder still holds.
  bool Flush(std::vector<PacketPtr>& out);

 private:
  VideoEncoder() = default;
  bool OpenCodecs(const AVCodecParameters& source, VideoCodec codec, int quality, std::string& error);
  bool EncodeFrame(AVFrame* frame, std::vector<PacketPtr>& out);
  AVFrame* Converted(AVFrame& decoded);
  bool Drain(std::vector<PacketPtr>& out);

  AVRational m_timeBase{1, 1};
  CodecParametersPtr m_output;
  CodecContextPtr m_decoder;
  CodecContextPtr m_encoder;
  std::unique_ptr<TurboJpegEncoder> m_jpeg;  // instead of m_encoder where it takes the frames
  ScaleContextPtr m_scaler;
  FramePtr m_decoded;
  FramePtr m_converted;
};

}  // namespace tovalen::ffmpeg
