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

std::string AvErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

}  // namespace tovalen::ffmpeg
