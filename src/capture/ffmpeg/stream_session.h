#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/media_source.h"
#include "capture/ffmpeg/stream_input.h"

namespace tovalen::ffmpeg {

// The protocols a stream's URL, and whatever its playlist names, may use. Nothing else (a local
// file, a pipe, a subprocess) is ever opened on a stream's behalf.
inline constexpr const char* kStreamProtocolWhitelist =
    "http,https,tls,tcp,udp,rtp,rtsp,rtsps,srtp,srt,hls,crypto,data";

// How a session hands its packets on.
enum class StreamPackets {
  kDecoded,     // video as raw frames, sound as PCM: for the encoders of an AVI recording
  kAsTheyCome,  // the stream's own packets: for a copy into .ts, .mkv or .mp4
};

struct StreamTimes {
  std::chrono::milliseconds connect{10000};   // an opening, and any one read, gives up after this
  std::chrono::milliseconds stall{5000};      // nothing for this long: connect again
  std::chrono::milliseconds firstRetry{500};  // between failed connections; the wait doubles
  std::chrono::milliseconds longestRetry{5000};
};

// One stream's picture or sound as the session hands it on.
struct StreamTrack {
  CodecParametersPtr parameters;  // of the first connection; the later ones are made to match
  AVRational timeBase{1, 1'000'000};
};

// Where a session opened for its packets as they come hands them, on its reading thread.
class StreamPacketSink {
 public:
  virtual ~StreamPacketSink() = default;
  // A packet of the picture or the sound, its timestamps in microseconds on the steady clock.
  virtual void Take(AVMediaType type, PacketPtr packet) = 0;
  // Everything there was has been handed on; the session waits a while before it reads again.
  virtual void CaughtUp() = 0;
  // The session has given the stream up for good (it ran out of memory): nothing more comes.
  virtual void GivenUp(const DriverError& why) = 0;
};

// What a short look at a stream found: the codecs a copy would have to hold.
struct StreamProbe {
  std::optional<AVCodecID> video;
  std::optional<AVCodecID> audio;
};

// One connection to a network stream, read by a thread of its own and connected again when it
// stalls, fails or ends, until the last reader lets go. Packets are handed on when their time
// comes, on the steady clock: their timestamps (microseconds) are the stream's own mapped onto
// that clock at the first packet of each connection, so a burst (an HLS segment) is not a burst
// to the recording, the time of a reconnection stays a gap, and picture and sound stay together.
// A jump of the stream's own clock is anchored anew. Readers may be on other threads.
class StreamSession {
 public:
  // Connects within times.connect and reads until the streams are known; fails with a clear
  // detail (never the URL's credentials) when it cannot.
  static Result<std::shared_ptr<StreamSession>> Open(const std::string& url, StreamPackets form, StreamTimes times,
                                                     RtspTransport transport = RtspTransport::kAutomatic);
  virtual ~StreamSession() = default;

  // Null when the stream has no picture (or no sound).
  virtual const StreamTrack* Video() const = 0;
  virtual const StreamTrack* Audio() const = 0;
  // The next due packet of the picture or the sound; kAgain while none is due (also while it
  // connects again); kError once it has given up.
  virtual ReadResult Read(AVMediaType type, AVPacket& packet) = 0;
  // From now on hands each packet to the sink as it comes, on the reading thread, instead of
  // keeping it until its time for Read: first those kept so far, oldest first. A copy is written
  // as it comes, so a thread of its own would only wake to move them. Null hands them to Read
  // again; once it returns, the former sink is not called any more. Only for StreamPackets::
  // kAsTheyCome.
  virtual void HandTo(StreamPacketSink* sink) = 0;
  // How often it has connected again.
  virtual std::uint32_t Reconnects() const = 0;
  // The first trouble (a stall, a failed connection), for the capture's summary.
  virtual std::optional<DriverError> FirstTrouble() const = 0;
  // Nothing has come since its last trouble: the stream is gone for now.
  virtual bool Gone() const = 0;
};

// Connects, looks at the streams and closes again, within the time given: for the check made
// when a reservation is entered.
Result<StreamProbe> ProbeStream(const std::string& url, std::chrono::milliseconds timeLimit);

}  // namespace tovalen::ffmpeg
