#pragma once

#include <cstddef>

#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

// A picture a source made itself (a filter graph's) travels as a packet that holds a reference to
// the frame, as FFmpeg's AV_CODEC_ID_WRAPPED_AVFRAME does, instead of a copy of its pixels.
// Only the program's own sources make such packets; they never reach a file.

bool IsWrappedFrame(const AVCodecParameters& parameters);

// Moves the frame's references into a new packet; false when out of memory.
bool WrapFrame(AVFrame& frame, AVPacket& packet);

// A new reference to the wrapped picture: the packet may be shared by several readers.
int RefWrappedFrame(const AVPacket& packet, AVFrame& frame);

// Bytes of the picture a packet carries: a wrapped one counts its pixels, not the wrapper.
std::size_t PictureBytes(const AVCodecParameters& parameters, const AVPacket& packet);

}  // namespace tovalen::ffmpeg
