#include "capture/ffmpeg/wrapped_frame.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace tovalen::ffmpeg {
namespace {

void FreeWrappedFrame(void*, std::uint8_t* data) {
  AVFrame* frame = reinterpret_cast<AVFrame*>(data);
  av_frame_free(&frame);
}

}  // namespace

bool IsWrappedFrame(const AVCodecParameters& parameters) { return parameters.codec_id == AV_CODEC_ID_WRAPPED_AVFRAME; }

bool WrapFrame(AVFrame& frame, AVPacket& packet) {
  FramePtr held(av_frame_alloc());
  if (!held) return false;
  av_frame_move_ref(held.get(), &frame);
  auto* data = reinterpret_cast<std::uint8_t*>(held.get());
  AVBufferRef* buffer = av_buffer_create(data, sizeof(AVFrame), FreeWrappedFrame, nullptr, 0);
  if (!buffer) return false;  // the frame goes with `held`
  held.release();
  packet.buf = buffer;
  packet.data = buffer->data;
  packet.size = sizeof(AVFrame);
  packet.flags |= AV_PKT_FLAG_KEY | AV_PKT_FLAG_TRUSTED;
  return true;
}

int RefWrappedFrame(const AVPacket& packet, AVFrame& frame) {
  if (!(packet.flags & AV_PKT_FLAG_TRUSTED) || packet.size != static_cast<int>(sizeof(AVFrame))) return AVERROR(EINVAL);
  return av_frame_ref(&frame, reinterpret_cast<const AVFrame*>(packet.data));
}

std::size_t PictureBytes(const AVCodecParameters& parameters, const AVPacket& packet) {
  if (!IsWrappedFrame(parameters)) return static_cast<std::size_t>(packet.size);
  const int bytes =
      av_image_get_buffer_size(static_cast<AVPixelFormat>(parameters.format), parameters.width, parameters.height, 1);
  return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

}  // namespace tovalen::ffmpeg
