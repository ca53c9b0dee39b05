#pragma once

#include <cstdint>
#include <string>

#include "capture/ffmpeg/driver_result.h"

namespace tovalen::ffmpeg {

// What an AVI file holds as a player reads it: libavformat's AVI demuxer on the descriptor (no
// other demuxer, no protocol, nothing the file names), every video frame decoded.
struct ReadBack {
  std::int64_t frames = 0;  // video frames that hold a picture
  std::int64_t audioBytes = 0;
  std::int64_t decodeErrors = 0;
};
// Fails when the file cannot be opened as an AVI.
Result<ReadBack> ReadBackAvi(int fd);

}  // namespace tovalen::ffmpeg
