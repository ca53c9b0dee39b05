#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "capture/ffmpeg/media_source.h"

namespace tovalen::ffmpeg {

struct ReopenTimes {
  std::chrono::milliseconds firstPacket;  // a device may take a while to start streaming
  std::chrono::milliseconds stall;        // then nothing for this long: it is opened again
  std::chrono::milliseconds firstRetry;   // the wait before the first new opening; it doubles
  std::chrono::milliseconds longestRetry;
};

// What a stream's troubles are called in traces and in the capture's summary.
struct StreamTroubles {
  std::string what;  // "the video", "the sound"
  StopReason stalled;
  StopReason lost;
};

// A device stream that is closed and opened again when it fails, ends or falls silent, so that
// a device that stops for a moment, or is unplugged and plugged back in, records on. Until it is
// open again Read returns kAgain; the openings are spaced out by a growing wait, each traced.
// A new opening must deliver what the first did, or it counts as failed. A source that connects
// again by itself (a network stream) is left to do so: it is opened again only when it fails.
// Used on one thread.
class ReopeningSource : public MediaSource {
 public:
  using Opener = std::function<OpenedSource()>;

  ReopeningSource(std::unique_ptr<MediaSource> opened, Opener open, StreamTroubles troubles, ReopenTimes times);
  ~ReopeningSource() override;

  const AVCodecParameters& Parameters() const override { return *m_parameters; }
  AVRational TimeBase() const override { return m_timeBase; }
  ReadResult Read(AVPacket& packet) override;
  // The open source's, or the last one's while none is open.
  std::optional<Reconnection> Reconnecting() const override;

  bool IsOpen() const { return m_source != nullptr; }
  // Counts the openings: the timestamps of a new one start afresh.
  std::uint64_t Openings() const { return m_openings; }
  // When the last packet came (or the first opening, before any), on the steady clock.
  std::int64_t LastPacketUs() const { return m_lastPacketUs; }
  // The first time it stalled or failed, and how often it did.
  const std::optional<DriverError>& FirstTrouble() const { return m_firstTrouble; }
  int Troubles() const { return m_troubles; }

 private:
  void Close(StopReason reason, const std::string& why, std::int64_t nowUs);
  void TryToOpen(std::int64_t nowUs);
  std::int64_t RetryDelayUs() const;

  std::unique_ptr<MediaSource> m_source;
  Opener m_open;
  StreamTroubles m_names;
  ReopenTimes m_times;
  CodecParametersPtr m_parameters;  // of the first opening
  AVRational m_timeBase{1, 1};
  std::uint64_t m_openings = 1;
  std::int64_t m_openedUs = 0;
  std::int64_t m_lastPacketUs = 0;
  bool m_deliveredSinceOpening = false;
  int m_failedOpenings = 0;  // since the last packet
  std::int64_t m_nextOpeningUs = 0;
  std::optional<DriverError> m_firstTrouble;
  int m_troubles = 0;
  std::optional<Reconnection> m_lastReconnection;  // of the source closed last
};

}  // namespace tovalen::ffmpeg
