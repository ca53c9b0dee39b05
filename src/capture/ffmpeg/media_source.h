#pragma once

#include <memory>

#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

enum class ReadStatus {
  kPacket,  // a packet was read
  kAgain,   // nothing is ready yet; ask again shortly
  kEnd,     // the stream ended
  kError,   // the source failed
};

struct ReadResult {
  ReadStatus status = ReadStatus::kAgain;
  int error = 0;  // the FFmpeg error code with kError
};

// One stream of a capture device (its video or its audio) as packets.
class MediaSource {
 public:
  virtual ~MediaSource() = default;

  virtual const AVCodecParameters& Parameters() const = 0;
  // The time base of the packets' timestamps.
  virtual AVRational TimeBase() const = 0;
  // Reads the next packet into the (unreferenced) packet without waiting long for it.
  virtual ReadResult Read(AVPacket& packet) = 0;
};

// An opened source, or why it could not be opened.
using OpenedSource = Result<std::unique_ptr<MediaSource>>;

}  // namespace tovalen::ffmpeg
