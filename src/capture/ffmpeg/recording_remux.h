#pragma once

#include <cstdint>
#include <string>

#include "capture/ffmpeg/driver_result.h"

namespace tovalen::ffmpeg {

// What the new file holds of a recording, as it was copied.
struct RemuxedRecording {
  std::int64_t frames = 0;      // video frames in it, each one decoded
  std::int64_t audioBytes = 0;  // sound in it
  double seconds = 0;           // up to the end of the last frame (of the sound, without picture)
  // What the source holds that could be read but the new file does not; empty when nothing.
  std::string lost;
  // The source is a finished, indexed file all of which reads: it can stand as it is.
  bool sourceFinished = false;
};

// Copies the video and audio streams of a recording that a killed capture left into a new AVI
// written to `out` (a new, empty file), without re-encoding. The source is read chunk by chunk
// past damaged stretches; a stream whose header is damaged is left out and the other kept;
// every video frame is decoded before it is copied, and one that does not decode is left out.
// The new file gets its index and is flushed to disk. With `out` < 0 the source is only read.
// Fails with why nothing, or not all, could be written.
Result<RemuxedRecording> RemuxRecording(int source, int out);

// Whether the recording's lists end where the file ends, as in a file that was finished; a
// quick look before RemuxRecording tells whether all of it reads.
bool LooksFinished(int source);

}  // namespace tovalen::ffmpeg
