#pragma once

#include <cstdint>
#include <string>

namespace tovalen::ffmpeg {

struct RemuxResult {
  bool written = false;     // the new file is complete and on disk
  std::int64_t frames = 0;  // video packets that hold a frame
  double seconds = 0;       // up to the end of the last video packet
  std::string error;        // why nothing, or not all, could be written
};

// Copies the video and audio streams of a recording into a new AVI written to `fd` (a new,
// empty file), without re-encoding: every packet that reads whole, in order, from the start
// (an AVI without its index is read chunk after chunk). The new file gets its index and is
// flushed to disk. A source with no frame writes nothing that counts: `frames` is 0.
RemuxResult RemuxRecording(const std::string& source, int fd);

}  // namespace tovalen::ffmpeg
