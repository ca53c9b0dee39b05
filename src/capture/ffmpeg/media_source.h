#pragma once

#include <cstdint>
#include <memory>
#include <optional>

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

// How a source that connects again by itself (a network stream) has fared so far.
struct Reconnection {
  std::uint32_t reconnects = 0;
  std::optional<DriverError> firstTrouble;  // the first stall or failed connection
  bool gone = false;                        // nothing has come since its last trouble
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
  // Set for a source that connects again by itself when it stalls or fails, so the capture
  // leaves that to it; nothing for one the capture opens again itself.
  virtual std::optional<Reconnection> Reconnecting() const { return std::nullopt; }
};

// An opened source, or why it could not be opened.
using OpenedSource = Result<std::unique_ptr<MediaSource>>;

}  // namespace tovalen::ffmpeg
