#include "capture/ffmpeg/ffmpeg_handles.h"

#include <new>

extern "C" {
#include <libavutil/error.h>
}

namespace tovalen::ffmpeg {

PacketPtr MakePacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}

FramePtr MakeFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}

PacketPtr RefPacket(const AVPacket& packet) {
  PacketPtr copy = MakePacket();
  if (av_packet_ref(copy.get(), &packet) < 0) throw std::bad_alloc();
  return copy;
}

int OpenStreamDecoder(const AVCodecParameters& parameters, CodecContextPtr& decoder) {
  const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
  if (!codec) return AVERROR_DECODER_NOT_FOUND;
  decoder.reset(avcodec_alloc_context3(codec));
  if (!decoder) throw std::bad_alloc();
  const int rc = avcodec_parameters_to_context(decoder.get(), &parameters);
  return rc < 0 ? rc : avcodec_open2(decoder.get(), codec, nullptr);
}

std::string AvErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

}  // namespace tovalen::ffmpeg
