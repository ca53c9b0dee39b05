#include "capture/ffmpeg/reopening_source.h"

#include <algorithm>
#include <new>

#include "capture/ffmpeg/reader_timing.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

std::int64_t Us(std::chrono::milliseconds duration) { return std::chrono::microseconds(duration).count(); }

bool SameStream(const AVCodecParameters& a, const AVCodecParameters& b) {
  return a.codec_type == b.codec_type && a.codec_id == b.codec_id && a.format == b.format && a.width == b.width &&
         a.height == b.height && a.sample_rate == b.sample_rate && a.ch_layout.nb_channels == b.ch_layout.nb_channels;
}

}  // namespace

ReopeningSource::ReopeningSource(std::unique_ptr<MediaSource> opened, Opener open, StreamTroubles troubles,
                                 ReopenTimes times)
    : m_source(std::move(opened)),
      m_open(std::move(open)),
      m_names(std::move(troubles)),
      m_times(times),
      m_parameters(avcodec_parameters_alloc()),
      m_timeBase(m_source->TimeBase()),
      m_openedUs(SteadyMicroseconds()),
      m_lastPacketUs(m_openedUs) {
  if (!m_parameters || avcodec_parameters_copy(m_parameters.get(), &m_source->Parameters()) < 0) throw std::bad_alloc();
  if (m_source->Reconnecting()) {
    // Its own stall time holds; its opening was bounded by its own connect time.
    m_times.firstPacket = m_times.stall = std::chrono::hours(24 * 365);
  }
}

std::optional<Reconnection> ReopeningSource::Reconnecting() const {
  return m_source ? m_source->Reconnecting() : m_lastReconnection;
}

ReopeningSource::~ReopeningSource() = default;

ReadResult ReopeningSource::Read(AVPacket& packet) {
  const std::int64_t nowUs = SteadyMicroseconds();
  if (!m_source && nowUs >= m_nextOpeningUs) TryToOpen(nowUs);
  if (!m_source) return {ReadStatus::kAgain, 0};
  const ReadResult result = m_source->Read(packet);
  switch (result.status) {
    case ReadStatus::kPacket:
      m_lastPacketUs = SteadyMicroseconds();
      m_deliveredSinceOpening = true;
      m_failedOpenings = 0;
      return result;
    case ReadStatus::kAgain: {
      const auto allowed = m_deliveredSinceOpening ? m_times.stall : m_times.firstPacket;
      const std::int64_t quietSinceUs = std::max(m_lastPacketUs, m_openedUs);
      if (nowUs - quietSinceUs > Us(allowed))
        Close(m_names.stalled, "nothing for " + std::to_string((nowUs - quietSinceUs) / 1000) + " ms", nowUs);
      return result;
    }
    case ReadStatus::kEnd:
      Close(m_names.lost, "end of stream", nowUs);
      return {ReadStatus::kAgain, 0};
    case ReadStatus::kError:
      Close(m_names.lost, AvFailure(m_names.lost, "reading", result.error).detail, nowUs);
      return {ReadStatus::kAgain, 0};
  }
  return {ReadStatus::kAgain, 0};
}

void ReopeningSource::Close(StopReason reason, const std::string& why, std::int64_t nowUs) {
  Trace("E: capture: " + m_names.what + ": " + why + "; opening the device again\n");
  if (!m_firstTrouble) m_firstTrouble = DriverError{reason, why};
  ++m_troubles;
  // Closed before the next opening: a V4L2 node is busy while it is held.
  m_lastReconnection = m_source->Reconnecting();
  m_source.reset();
  m_nextOpeningUs = nowUs + RetryDelayUs();
}

void ReopeningSource::TryToOpen(std::int64_t nowUs) {
  OpenedSource opened = m_open();
  std::string why;
  if (!opened)
    why = opened.Error().detail;
  else if (!*opened)
    why = "the device has none";
  else if (!SameStream((*opened)->Parameters(), *m_parameters))
    why = "it now delivers another format";
  const std::string attempt = " (attempt " + std::to_string(m_failedOpenings + 1) + ")";
  if (!why.empty()) {
    ++m_failedOpenings;
    Trace("E: capture: " + m_names.what + " could not be opened again" + attempt + ": " + why + "\n");
    m_nextOpeningUs = nowUs + RetryDelayUs();
    return;
  }
  m_source = std::move(*opened);
  m_timeBase = m_source->TimeBase();
  m_openedUs = SteadyMicroseconds();
  m_deliveredSinceOpening = false;
  ++m_openings;
  Trace("D: capture: " + m_names.what + " opened again" + attempt + "\n");
}

std::int64_t ReopeningSource::RetryDelayUs() const {
  const std::int64_t longestUs = Us(m_times.longestRetry);
  std::int64_t delayUs = Us(m_times.firstRetry);
  for (int i = 0; i < m_failedOpenings && delayUs < longestUs; ++i) delayUs *= 2;
  return std::min(delayUs, longestUs);
}

}  // namespace tovalen::ffmpeg
