#include "capture/ffmpeg/stream_copy_recording.h"

#include <algorithm>
#include <new>
#include <utility>

#include "capture/ffmpeg/reader_timing.h"
#include "capture/ffmpeg/stream_copy_container.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

// As the capture pipeline: notices wait here while the caller's thread is busy.
constexpr std::size_t kMaxNotices = 512;
// The room left is looked at every half second and after every quarter megabyte.
constexpr std::int64_t kRoomCheckIntervalUs = 500'000;
constexpr std::uint64_t kRoomCheckBytes = 256 << 10;
// Past the time limit by this much on the clock with no packet, none before the limit is still
// to come.
constexpr std::int64_t kLateDeliveryUs = 200'000;
// A session that said a batch ended within this tells the end of the next one too.
constexpr std::int64_t kBatchesEndWithinUs = 1'000'000;
// A stream sends its sound behind its picture: after a stop, the sound is still taken up to the
// picture's end for this long at most.
constexpr auto kSoundCatchUp = std::chrono::milliseconds(1000);
// How often the watching thread looks at the clock: for a time limit reached while nothing
// comes, and for a stream gone for the give-up time.
constexpr auto kWatchInterval = std::chrono::milliseconds(1000);

}  // namespace

StreamCopyRecording::StreamCopyRecording(const StreamCopyJob& job, int fd, MainLoop& loop)
    : m_job(job),
      m_loop(loop),
      m_startUs(SteadyMicroseconds()),
      m_writer(fd, job.container, *job.session->Video(), job.session->Audio()),
      m_roomCheckUs(m_startUs),
      m_toldUs(m_startUs),
      m_lastPacketUs(m_startUs),
      m_soundCaughtUp(job.session->Audio() == nullptr) {}

StreamCopyRecording::~StreamCopyRecording() {
  RequestStop(StopReason::kStopRequested);
  if (m_watcher.joinable()) m_watcher.join();
}

Result<std::unique_ptr<StreamCopyRecording>> StreamCopyRecording::Start(const StreamCopyJob& job, int fd,
                                                                        MainLoop& loop) {
  if (!job.session || !job.session->Video())
    return DriverError{StopReason::kDeviceOpenFailed, "the stream has no picture to copy"};
  for (const StreamTrack* track : {job.session->Video(), job.session->Audio()}) {
    if (!track) continue;
    if (auto holds = CheckContainerHolds(job.container, track->parameters->codec_id); !holds) return holds.Error();
  }
  std::unique_ptr<StreamCopyRecording> recording(new StreamCopyRecording(job, fd, loop));
  if (auto prepared = recording->m_writer.Prepare(); !prepared) return prepared.Error();
  if (auto room = recording->m_writer.CheckRoom(job.spaceProbe); !room) return room.Error();
  recording->m_watcher = std::jthread([self = recording.get()] { self->Watch(); });
  job.session->HandTo(recording.get());
  return recording;
}

void StreamCopyRecording::Stop(StopReason reason, const std::string& detail) {
  {
    std::lock_guard lock(m_mutex);
    // A failure outranks an ordinary stop; otherwise the first reason stays.
    if (!m_reason || (!IsFailure(*m_reason) && IsFailure(reason))) {
      m_reason = reason;
      m_outcome.detail = detail;
    }
    if (!m_stopped) m_stopSteadyUs = SteadyMicroseconds();
    m_stopped = true;
  }
  m_wake.notify_all();
  m_loop.Wake();
}

void StreamCopyRecording::RequestStop(StopReason reason, const std::string& detail) { Stop(reason, detail); }

void StreamCopyRecording::Fail(const DriverError& error) {
  Trace("E: capture: " + Describe(error.reason) + (error.detail.empty() ? "" : ": " + error.detail) + "\n");
  Stop(error.reason, error.detail);
}

bool StreamCopyRecording::Finished() const {
  std::lock_guard lock(m_mutex);
  return m_finished;
}

std::int64_t StreamCopyRecording::MicrosecondsOf(const AVPacket& packet, const StreamTrack& track) const {
  const std::int64_t time = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
  return av_rescale_q(time, track.timeBase, {1, 1'000'000});
}

// The recording's time: microseconds from the first key frame.
void StreamCopyRecording::ShiftToTheRecording(AVPacket& packet, const StreamTrack& track) const {
  av_packet_rescale_ts(&packet, track.timeBase, {1, 1'000'000});
  packet.pts = packet.pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : packet.pts - *m_firstUs;
  packet.dts = packet.dts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : packet.dts - *m_firstUs;
}

void StreamCopyRecording::Watch() {
  {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kWatchInterval, [this] { return m_stopped; })) {
      lock.unlock();
      if (!PastTheTimeLimit(INT64_MIN)) EndIfTheStreamStaysGone();
      lock.lock();
    }
    m_wake.wait_for(lock, kSoundCatchUp, [this] { return m_soundCaughtUp; });
  }
  m_job.session->HandTo(nullptr);  // from here on the packets' members are this thread's
  {
    std::lock_guard lock(m_mutex);
    m_lostAtTheEnd = m_gaveUp || m_job.session->Gone();
  }
  FinishFile();
}

void StreamCopyRecording::FinishFile() {
  try {
    if (const auto finished = m_writer.Finish(); !finished) Fail(finished.Error());
  } catch (const std::bad_alloc&) {
    Fail({StopReason::kWriteFailed, "out of memory"});
  }
  {
    std::lock_guard lock(m_mutex);
    m_outcome.framesWritten = m_writer.VideoWritten();
    m_outcome.audioSamples = m_writer.AudioSamplesWritten();
    m_finished = true;
  }
  m_loop.Wake();
}

void StreamCopyRecording::Take(AVMediaType type, PacketPtr packet) {
  bool stopped = false;
  {
    std::lock_guard lock(m_mutex);
    stopped = m_stopped;
  }
  m_lastPacketUs = SteadyMicroseconds();
  try {
    if (stopped) {
      if (type == AVMEDIA_TYPE_AUDIO) TakeSoundAfterTheStop(std::move(packet));
      return;
    }
    if (type == AVMEDIA_TYPE_VIDEO)
      TakeVideo(std::move(packet));
    else if (m_job.session->Audio())
      TakeAudio(std::move(packet));
  } catch (const std::bad_alloc&) {
    Fail({StopReason::kWriteFailed, "out of memory"});
  }
  TellTheFrames();
}

// The sound that comes after the stop up to the picture's end, so that the file ends with both.
void StreamCopyRecording::TakeSoundAfterTheStop(PacketPtr packet) {
  {
    std::lock_guard lock(m_mutex);
    if (m_soundCaughtUp) return;
  }
  const bool caughtUp =
      !m_firstUs || !m_writing || MicrosecondsOf(*packet, *m_job.session->Audio()) - *m_firstUs >= m_pictureEndUs;
  if (!caughtUp) return TakeAudio(std::move(packet));
  {
    std::lock_guard lock(m_mutex);
    m_soundCaughtUp = true;
  }
  m_wake.notify_all();
}

void StreamCopyRecording::GivenUp(const DriverError& why) {
  m_gaveUp = true;
  {
    std::lock_guard lock(m_mutex);
    m_soundCaughtUp = true;  // nothing more comes
  }
  Fail({StopReason::kDeviceLost, "the stream is gone: " + why.detail});
}

// With a packet's time since the first key frame, or without one (INT64_MIN) by the clock:
// whether the time limit has come, stopping the recording when it has.
bool StreamCopyRecording::PastTheTimeLimit(std::int64_t sinceFirstUs) {
  if (!m_job.timeLimitMs) return false;
  const std::int64_t limitUs = static_cast<std::int64_t>(*m_job.timeLimitMs) * 1000;
  bool past = sinceFirstUs > limitUs;
  if (sinceFirstUs == INT64_MIN) {
    std::lock_guard lock(m_mutex);
    past = SteadyMicroseconds() - m_firstSteadyUs.value_or(m_startUs) > limitUs + kLateDeliveryUs;
  }
  if (past) Stop(StopReason::kTimeLimit, "");
  return past;
}

// Without a time limit, a stream that sends nothing for the give-up time ends the recording, as
// a device that stays gone ends an encoding capture.
void StreamCopyRecording::EndIfTheStreamStaysGone() {
  if (m_job.timeLimitMs) return;
  const std::int64_t quietUs = SteadyMicroseconds() - m_lastPacketUs;
  if (quietUs <= std::chrono::microseconds(m_job.giveUp).count()) return;
  const std::string detail = "nothing came for " + std::to_string(quietUs / 1'000'000) + " s";
  Trace("E: capture: " + detail + "; the capture ends with what was recorded\n");
  bool started = false;
  {
    std::lock_guard lock(m_mutex);
    started = m_firstSteadyUs.has_value();
  }
  if (!started)
    Fail({StopReason::kDeviceStalled, detail});
  else
    Stop(StopReason::kStopRequested, detail);
}

void StreamCopyRecording::TakeVideo(PacketPtr packet) {
  const StreamTrack& track = *m_job.session->Video();
  const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
  if (!m_firstUs) {
    if (!key) return;  // nothing before the first key frame can be shown
    m_firstUs = MicrosecondsOf(*packet, track);
    std::lock_guard lock(m_mutex);
    m_firstSteadyUs = SteadyMicroseconds();
  }
  const std::int64_t sinceFirstUs = MicrosecondsOf(*packet, track) - *m_firstUs;
  if (PastTheTimeLimit(sinceFirstUs)) return;
  // A new connection starts where the stream is: nothing before its first key frame decodes.
  const std::uint32_t reconnects = m_job.session->Reconnects();
  if (std::exchange(m_reconnects, reconnects) != reconnects) m_waitForKeyFrame = true;
  m_waitForKeyFrame = m_waitForKeyFrame && !key;
  if (m_waitForKeyFrame) return;
  ShiftToTheRecording(*packet, track);
  const auto bytes = static_cast<std::uint32_t>(packet->size);
  m_pictureEndUs = std::max(m_pictureEndUs, sinceFirstUs + std::max<std::int64_t>(packet->duration, 0));
  WritePacket({std::move(packet), true});
  std::lock_guard lock(m_mutex);
  ++m_outcome.framesCaptured;
  if (!m_writing) ++m_outcome.droppedAtWrite;
  if (m_notices.size() >= kMaxNotices) {
    m_notices.pop_front();
    ++m_outcome.noticesDropped;
  }
  m_notices.push_back({static_cast<std::uint32_t>(std::max<std::int64_t>(0, sinceFirstUs) / 1000), bytes});
}

void StreamCopyRecording::TakeAudio(PacketPtr packet) {
  const StreamTrack& track = *m_job.session->Audio();
  if (!m_firstUs) return;  // sound before the first key frame has no picture to go with
  const std::int64_t sinceFirstUs = MicrosecondsOf(*packet, track) - *m_firstUs;
  if (sinceFirstUs < 0 || (m_job.timeLimitMs && sinceFirstUs > static_cast<std::int64_t>(*m_job.timeLimitMs) * 1000))
    return;
  ShiftToTheRecording(*packet, track);
  WritePacket({std::move(packet), false});
}

// Once the file has failed, packets are still taken and counted until the recording stops.
void StreamCopyRecording::WritePacket(CopiedPacket item) {
  if (!m_writing) return;
  CheckRoomNow();
  if (!m_writing) return;
  if (const auto written = m_writer.Write(std::move(item)); !written) {
    Fail(written.Error());
    m_writing = false;
  }
  std::lock_guard lock(m_mutex);
  m_outcome.framesWritten = m_writer.VideoWritten();
  m_outcome.audioSamples = m_writer.AudioSamplesWritten();
}

// Stopping while there is room for the file's end leaves a complete file.
void StreamCopyRecording::CheckRoomNow() {
  const std::int64_t nowUs = SteadyMicroseconds();
  if (nowUs - m_roomCheckUs < kRoomCheckIntervalUs && m_writer.Bytes() - m_bytesAtRoomCheck <= kRoomCheckBytes) return;
  m_roomCheckUs = nowUs;
  m_bytesAtRoomCheck = m_writer.Bytes();
  if (const auto room = m_writer.CheckRoom(m_job.spaceProbe); !room) {
    Fail({room.Error().reason, "stopped while the end of the file still fits: " + room.Error().detail});
    m_writing = false;
  }
}

// Wakes the caller's thread for the frames taken, unless it was woken a moment ago. A session
// that reads in batches says when each is written (now): the thread hears of all its frames at
// once, in time to stop the copy before the next, and is not woken in between.
void StreamCopyRecording::TellTheFrames(bool now) {
  const std::int64_t nowUs = SteadyMicroseconds();
  if (now) m_batchEndUs = nowUs;
  if (!now && (nowUs - m_toldUs < kNoticeWakeIntervalUs || nowUs - m_batchEndUs < kBatchesEndWithinUs)) return;
  {
    std::lock_guard lock(m_mutex);
    if (m_notices.empty()) return;
  }
  m_toldUs = nowUs;
  m_loop.Wake();
}

std::vector<FrameNotice> StreamCopyRecording::TakeFrameNotices() {
  std::lock_guard lock(m_mutex);
  std::vector<FrameNotice> notices(m_notices.begin(), m_notices.end());
  m_notices.clear();
  return notices;
}

CaptureOutcome StreamCopyRecording::Progress() const {
  std::lock_guard lock(m_mutex);
  CaptureOutcome progress = m_outcome;
  progress.reconnects = m_job.session->Reconnects();
  if (m_firstSteadyUs) {
    const std::int64_t endUs = std::min(m_stopSteadyUs.value_or(INT64_MAX), SteadyMicroseconds());
    progress.elapsedMs = static_cast<std::uint32_t>(std::max<std::int64_t>(0, endUs - *m_firstSteadyUs) / 1000);
  }
  return progress;
}

bool StreamCopyRecording::LostAtTheEnd() const {
  std::lock_guard lock(m_mutex);
  return m_lostAtTheEnd;
}

FrameSize StreamCopyRecording::ImageSize() const {
  const AVCodecParameters& video = *m_job.session->Video()->parameters;
  return {video.width, video.height};
}

CaptureOutcome StreamCopyRecording::Finish() {
  if (m_watcher.joinable()) m_watcher.join();  // the file is finished
  CaptureOutcome outcome = Progress();
  const std::optional<DriverError> trouble = m_job.session->FirstTrouble();
  if (outcome.reconnects > 0)
    Trace("I: capture: the stream connected again " + std::to_string(outcome.reconnects) + " times\n");
  std::lock_guard lock(m_mutex);
  outcome.reason = m_reason.value_or(StopReason::kStopRequested);
  // With nothing recorded, the stream's trouble is why.
  if (outcome.framesWritten == 0 && !IsFailure(outcome.reason)) {
    outcome.reason = trouble ? trouble->reason : StopReason::kNothingRecorded;
    outcome.detail = trouble ? trouble->detail : "";
  } else if (m_lostAtTheEnd && !IsFailure(outcome.reason)) {
    // A stream that never came back failed the recording, however it ended.
    outcome.reason = StopReason::kDeviceLost;
    outcome.detail = trouble ? trouble->detail : outcome.detail;
  } else if (trouble && outcome.reconnects > 0 && !IsFailure(outcome.reason)) {
    // Ended as asked after the stream came back: its trouble is told, the recording stands.
    outcome.reason = trouble->reason;
    outcome.detail = trouble->detail;
    outcome.interrupted = true;
  }
  return outcome;
}

}  // namespace tovalen::ffmpeg
