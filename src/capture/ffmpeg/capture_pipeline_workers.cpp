#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "capture/ffmpeg/capture_pipeline.h"
#include "capture/ffmpeg/reader_timing.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

// The writer looks at the room left every half second, and after every quarter megabyte: well
// inside the room kept for the index, so that a writer catching up after a busy moment does not
// run past a file-size limit or a full disk and leave the file without its index.
constexpr auto kRoomCheckInterval = std::chrono::milliseconds(500);
constexpr std::int64_t kRoomCheckBytes = 256 << 10;
// The writer and the sound's converter take their packets a few times a second, not one by one:
// a wake-up for each costs more than handling it. A packet waits at most this long, unless this
// many have come.
constexpr std::chrono::milliseconds kBatchPatience{100};
constexpr std::size_t kBatchWakesAt = 16;
// Sound read before the first frame is kept this long, in case the frame's capture time is earlier.
constexpr std::int64_t kEarlyAudioUs = 1'000'000;
// Sound waits for the video to reach it; while the video is gone, this much of it at most.
constexpr std::int64_t kHeldAudioUs = 30'000'000;
// How long the sound's end waits for the video's end before it takes the last frame handed on.
constexpr std::chrono::milliseconds kVideoEndWait{10'000};

}  // namespace

std::int64_t CapturePipeline::SlotEndUs(std::int64_t slot) const {
  return m_stop.FirstFrameUs().value() + (slot + 1) * std::int64_t{m_job.microSecPerFrame};
}

std::int64_t CapturePipeline::SlotOf(std::int64_t captureUs) const {
  const double periods = static_cast<double>(captureUs - m_stop.FirstFrameUs().value()) / m_job.microSecPerFrame;
  return std::llround(periods);
}

void CapturePipeline::ReadVideo() {
  try {
    ReadVideoPackets();
  } catch (const std::bad_alloc&) {
    Fail({StopReason::kDeviceLost, "out of memory"});
  }
  NoteTrouble(*m_videoSource);
  m_videoQueue.Close();
}

void CapturePipeline::NoteTrouble(const ReopeningSource& source) {
  NoteReconnects(source);
  const std::optional<Reconnection> reconnecting = source.Reconnecting();
  const std::optional<DriverError> first = reconnecting ? reconnecting->firstTrouble : source.FirstTrouble();
  if (!first) return;
  std::string detail = first->detail;
  if (reconnecting && reconnecting->reconnects > 0)
    detail += "; connected again " + std::to_string(reconnecting->reconnects) + " times";
  else if (!reconnecting && source.Troubles() > 1)
    detail += "; " + std::to_string(source.Troubles()) + " times";
  const bool gone = !source.IsOpen() || (reconnecting && reconnecting->gone);
  if (gone) detail += "; gone at the end";
  std::lock_guard lock(m_mutex);
  if (!m_trouble) m_trouble = DriverError{first->reason, detail};
  // A stream that never came back: not a device that recorded on through its trouble.
  if (gone && reconnecting && &source == m_videoSource.get()) m_lostAtTheEnd = true;
}

void CapturePipeline::NoteReconnects(const ReopeningSource& source) {
  const std::optional<Reconnection> reconnecting = source.Reconnecting();
  if (!reconnecting) return;
  std::lock_guard lock(m_mutex);
  m_outcome.reconnects = std::max(m_outcome.reconnects, reconnecting->reconnects);
}

bool CapturePipeline::VideoGone() const {
  if (!m_videoSource->IsOpen()) return true;
  const std::optional<Reconnection> reconnecting = m_videoSource->Reconnecting();
  return reconnecting && reconnecting->gone;
}

void CapturePipeline::ReadVideoPackets() {
  CaptureClock clock;
  std::uint64_t openings = m_videoSource->Openings();
  std::int64_t lastSlot = -1;
  PacketPtr packet = MakePacket();
  // After a stop the frames captured before it are still read, until one comes from after it
  // or the device has nothing more for a while.
  const auto sinceStop = [this] {
    const std::optional<std::int64_t> stopUs = m_stop.StopUs();
    return stopUs ? SteadyMicroseconds() - *stopUs : INT64_MIN;
  };
  const std::int64_t stallUs = std::chrono::microseconds(m_job.timeouts.stall).count();
  while (sinceStop() <= stallUs) {
    const ReadResult result = m_videoSource->Read(*packet);
    if (result.status != ReadStatus::kPacket) {
      NoteReconnects(*m_videoSource);  // a stream connects again while nothing comes
      if (sinceStop() > 2 * std::int64_t{m_job.microSecPerFrame}) break;
      if (StopRequested() && !m_videoSource->IsOpen()) break;
      EndIfTheVideoStaysGone();
      m_stop.PollPause(kDevicePollInterval);
      continue;
    }
    // A new opening starts its timestamps afresh.
    if (std::exchange(openings, m_videoSource->Openings()) != m_videoSource->Openings()) clock = CaptureClock();
    const std::int64_t captureUs = clock.Map(packet->pts, m_videoSource->TimeBase(), m_videoSource->LastPacketUs());
    CapturedPacket item{std::move(packet), captureUs};
    packet = MakePacket();
    if (m_stop.IsAfterStop(item.captureUs)) break;  // not part of the capture
    m_stop.SetFirstFrame(item.captureUs);
    item.slot = SlotOf(item.captureUs);
    if (item.slot <= lastSlot) {
      Count(&CaptureOutcome::skippedForRate);
      continue;
    }
    if (PastTheTimeLimit(item.captureUs) || !CountCaptured(item)) break;
    lastSlot = item.slot;
    if (m_preview) m_preview->Offer(*item.packet, item.captureUs);
    item.turn = m_videoQueued;
    if (m_videoQueue.TryPush(item))
      ++m_videoQueued;
    else
      Count(&CaptureOutcome::droppedAtCapture);
  }
}

// Without frames nothing else ends the capture: the time limit (a reservation's end) does, or,
// without one, a device that has sent nothing for the give-up time.
void CapturePipeline::EndIfTheVideoStaysGone() {
  if (StopRequested()) return;
  const std::int64_t nowUs = SteadyMicroseconds();
  if (m_job.timeLimitMs) {
    if (PastTheTimeLimit(nowUs) && VideoGone())
      Trace("E: capture: the device is still gone at the end; the capture ends with what was recorded\n");
    return;
  }
  const std::int64_t quietUs = nowUs - m_videoSource->LastPacketUs();
  if (quietUs <= std::chrono::microseconds(m_job.timeouts.giveUp).count()) return;
  const std::string detail = "no frame for " + std::to_string(quietUs / 1'000'000) + " s";
  Trace("E: capture: " + detail + "; the capture ends with what was recorded\n");
  if (!m_stop.FirstFrameUs())
    Fail({StopReason::kDeviceStalled, detail});
  else
    StopAt(nowUs, StopReason::kStopRequested, detail);
}

bool CapturePipeline::PastTheTimeLimit(std::int64_t captureUs) {
  if (!m_job.timeLimitMs) return false;
  // Before the first frame, from the start of the sequence.
  const std::int64_t startUs = m_stop.FirstFrameUs().value_or(m_startUs);
  const std::int64_t limitUs = startUs + static_cast<std::int64_t>(*m_job.timeLimitMs) * 1000;
  if (captureUs <= limitUs) return false;
  StopAt(limitUs, StopReason::kTimeLimit, "");
  return true;
}

bool CapturePipeline::AudioCaughtUp(std::int64_t lastCaptureUs) const {
  const std::optional<std::int64_t> stopUs = m_stop.StopUs();
  if (!stopUs) return false;
  if (!m_audioSource->IsOpen()) return true;  // nothing more will come
  const auto videoEnd = m_stop.VideoEnded();
  if (videoEnd && (!videoEnd->lastFrameEndUs || lastCaptureUs >= *videoEnd->lastFrameEndUs)) return true;
  return SteadyMicroseconds() - *stopUs > std::chrono::microseconds(m_job.timeouts.audioTail).count();
}

void CapturePipeline::ReadAudio() {
  try {
    ReadAudioPackets();
  } catch (const std::bad_alloc&) {
    Fail({StopReason::kAudioFailed, "out of memory"});
  }
  NoteTrouble(*m_audioSource);
  m_audioQueue.Close();
}

void CapturePipeline::ReadAudioPackets() {
  CaptureClock clock;
  std::uint64_t openings = m_audioSource->Openings();
  PacketPtr packet = MakePacket();
  std::int64_t lastCaptureUs = INT64_MIN;
  // After a stop the sound goes on until it covers the last frame.
  while (!AudioCaughtUp(lastCaptureUs)) {
    const ReadResult result = m_audioSource->Read(*packet);
    if (result.status != ReadStatus::kPacket) {
      m_stop.PollPause(kDevicePollInterval);
      continue;
    }
    if (std::exchange(openings, m_audioSource->Openings()) != m_audioSource->Openings()) clock = CaptureClock();
    const std::int64_t captureUs = clock.Map(packet->pts, m_audioSource->TimeBase(), m_audioSource->LastPacketUs());
    CapturedPacket item{std::move(packet), captureUs};
    packet = MakePacket();
    lastCaptureUs = item.captureUs;
    if (!m_audioQueue.TryPush(item)) Count(&CaptureOutcome::audioPacketsDropped);
  }
}

void CapturePipeline::EncodeVideo(VideoEncoder& encoder) {
  std::vector<PacketPtr> out;
  while (auto item = m_videoQueue.Pop()) {
    out.clear();
    EncodeOutcome outcome = EncodeOutcome::kEncoded;
    if (m_stop.FailedBefore(item->turn)) {  // drain, so that the reader is never held up
      outcome = EncodeOutcome::kNotEncoded;
    } else if (m_writeQueue.Full()) {
      // Dropped before encoding: an encoded frame that later frames refer to must not be lost.
      outcome = EncodeOutcome::kNoRoomToWrite;
    } else {
      const Result<> result =
          FailOnOutOfMemory(StopReason::kEncoderFailed, [&] { return encoder.Encode(*item->packet, item->slot, out); });
      if (!result) {
        outcome = EncodeOutcome::kNotEncoded;
        m_stop.NoteFailedTurn(item->turn);
        Fail({result.Error().reason, "frame " + std::to_string(item->slot) + ": " + result.Error().detail});
      }
    }
    HandOnInOrder(*item, outcome, out);
  }
  EndVideo(encoder);
}

// Waits until every frame queued before this one has been handed on, so the file takes them in order.
void CapturePipeline::HandOnInOrder(const CapturedPacket& item, EncodeOutcome outcome, std::vector<PacketPtr>& out) {
  m_encodeTurns.Wait(item.turn);
  // Nothing after a frame that failed goes in.
  if (outcome == EncodeOutcome::kEncoded && m_stop.FailedBefore(item.turn)) outcome = EncodeOutcome::kNotEncoded;
  switch (outcome) {
    case EncodeOutcome::kEncoded:
      // An MJPEG frame already is a JPEG picture.
      if (m_job.latestPicture && m_job.settings.codec == VideoCodec::kMjpeg && !out.empty() &&
          m_job.latestPicture->Wants()) {
        m_job.latestPicture->Offer(out.front()->data, static_cast<std::size_t>(out.front()->size));
      }
      PushAll(out, m_writer->VideoStream());
      // After the frame is in the writer's queue: the sound up to it may follow.
      m_stop.SetVideoReached(SlotEndUs(item.slot));
      break;
    case EncodeOutcome::kNoRoomToWrite:
      Count(&CaptureOutcome::droppedAtWrite);
      break;
    case EncodeOutcome::kNotEncoded:
      Count(&CaptureOutcome::droppedAtCapture);
      break;
  }
  m_encodeTurns.Done();
}

// The flush hands on outside the turn order, so only a single worker flushes: two workers run only
// on an encoder that takes each frame alone (OpenVideo), which holds no frame back to flush.
void CapturePipeline::EndVideo(VideoEncoder& encoder) {
  std::vector<PacketPtr> out;
  if (m_videoEncoders.size() == 1 && !m_stop.AnyFailed()) {
    const Result<> flushed = FailOnOutOfMemory(StopReason::kEncoderFailed, [&] { return encoder.Flush(out); });
    // A failed flush loses frames the encoder still held: the capture is not complete.
    if (!flushed) Fail(flushed.Error());
    PushAll(out, m_writer->VideoStream());
  }
  m_stop.EncoderWorkerDone();
  ProducerDone();
}

void CapturePipeline::ConvertAudio() {
  std::deque<CapturedPacket> held;  // sound the video has not reached yet
  std::vector<PacketPtr> out;
  m_audioQueue.WakeConsumerAt(kBatchWakesAt);
  while (auto item = m_audioQueue.PopPatiently(kBatchPatience)) {
    held.push_back(std::move(*item));
    const bool started = m_stop.FirstFrameUs().has_value();
    while (held.back().captureUs - held.front().captureUs > (started ? kHeldAudioUs : kEarlyAudioUs)) {
      if (started) Count(&CaptureOutcome::audioPacketsDropped);  // the device has been gone for long
      held.pop_front();
    }
    // A packet is whole before the video's end once the next one starts there.
    const std::int64_t reachedUs = m_stop.VideoReachedUs().value_or(INT64_MIN);
    while (held.size() > 1 && held[1].captureUs <= reachedUs) {
      ConvertAudioPacket(held.front(), AudioEndUs(), out);
      held.pop_front();
    }
  }
  if (m_stop.FirstFrameUs()) {
    // The video's end is near once the sound has ended; the encoders only finish their frames.
    m_stop.WaitForVideoEnd(kVideoEndWait);
    const std::int64_t endUs = AudioEndUs();
    for (const CapturedPacket& item : held) ConvertAudioPacket(item, endUs, out);
    FillAudioTo(endUs, out);
  }
  ProducerDone();
}

// Until the video has ended, nothing after the stop belongs to the capture either.
std::int64_t CapturePipeline::AudioEndUs() const {
  if (const auto videoEnd = m_stop.VideoEnded()) return videoEnd->lastFrameEndUs.value_or(INT64_MAX);
  const std::optional<std::int64_t> stopUs = m_stop.StopUs();
  if (!stopUs) return INT64_MAX;
  return std::min(*stopUs + m_job.microSecPerFrame, m_stop.VideoReachedUs().value_or(INT64_MIN));
}

void CapturePipeline::ConvertAudioPacket(const CapturedPacket& item, std::int64_t endUs, std::vector<PacketPtr>& out) {
  out.clear();
  const Result<> converted = FailOnOutOfMemory(StopReason::kAudioFailed, [&] {
    return m_audioConverter->Convert(*item.packet, item.captureUs, m_stop.FirstFrameUs().value(), endUs, out);
  });
  if (!converted) {
    Fail({converted.Error().reason, "the sound could not be converted: " + converted.Error().detail});
    return;
  }
  CountAudioSamples(m_audioConverter->SamplesWritten());
  PushAll(out, m_writer->AudioStream());
}

// Sound that ended before the video (an input that went away) is filled with silence to its end.
void CapturePipeline::FillAudioTo(std::int64_t endUs, std::vector<PacketPtr>& out) {
  if (endUs == INT64_MAX) return;
  out.clear();
  const Result<> filled = FailOnOutOfMemory(
      StopReason::kAudioFailed, [&] { return m_audioConverter->FillTo(m_stop.FirstFrameUs().value(), endUs, out); });
  if (!filled) return Fail(filled.Error());
  CountAudioSamples(m_audioConverter->SamplesWritten());
  PushAll(out, m_writer->AudioStream());
}

bool CapturePipeline::PushAll(std::vector<PacketPtr>& packets, int stream) {
  for (PacketPtr& packet : packets)
    if (!m_writeQueue.Push(OutputPacket{std::move(packet), stream})) return false;
  return true;
}

void CapturePipeline::ProducerDone() {
  if (m_stop.ProducerDone()) m_writeQueue.Close();
}

void CapturePipeline::Write() {
  auto lastCheck = std::chrono::steady_clock::now();
  std::uint64_t bytesAtCheck = m_writer->Bytes();
  bool writing = true;
  std::int64_t videoEndSlot = 0;     // after the last video frame written
  std::int64_t soundUntilSlot = -1;  // out of room: the sound still goes up to the video's end
  m_writeQueue.WakeConsumerAt(kBatchWakesAt);
  while (auto item = m_writeQueue.PopPatiently(kBatchPatience)) {
    const bool video = item->stream == m_writer->VideoStream();
    const std::int64_t bytesAfter = static_cast<std::int64_t>(m_writer->Bytes() - bytesAtCheck) + item->packet->size;
    if (writing &&
        (std::chrono::steady_clock::now() - lastCheck >= kRoomCheckInterval || bytesAfter > kRoomCheckBytes)) {
      lastCheck = std::chrono::steady_clock::now();
      bytesAtCheck = m_writer->Bytes();
      // Stopping while there is room for the index leaves a complete file.
      if (const auto room = m_writer->CheckRoom(m_job.spaceProbe); !room) {
        Fail({room.Error().reason, "stopped while the index still fits: " + room.Error().detail});
        writing = false;
        soundUntilSlot = videoEndSlot;
      }
    }
    // Once writing has stopped, packets are still taken so that no producer waits forever.
    if (writing || (!video && soundUntilSlot >= 0 && CutAudioAtSlot(*item->packet, soundUntilSlot))) {
      const std::int64_t slot = item->packet->pts;
      if (const auto written = m_writer->Write(*item->packet, item->stream); !written) {
        Fail(written.Error());
        writing = false;
        soundUntilSlot = -1;
      } else if (video) {
        videoEndSlot = std::max(videoEndSlot, slot + 1);
        Count(&CaptureOutcome::framesWritten);
        continue;
      }
    }
    if (video) Count(&CaptureOutcome::droppedAtWrite);
  }
  if (const auto finished = m_writer->Finish(); !finished) Fail(finished.Error());
  m_stop.SetFinished();
  m_loop.Wake();
}

// Cuts a PCM packet so it ends where the video slot begins; false when nothing of it is before.
bool CapturePipeline::CutAudioAtSlot(AVPacket& packet, std::int64_t slot) const {
  const AVCodecParameters& sound = m_audioConverter->OutputParameters();
  const std::int64_t endSample = av_rescale(slot, std::int64_t{m_job.microSecPerFrame} * sound.sample_rate, 1'000'000);
  const std::int64_t samples = sound.block_align > 0 ? packet.size / sound.block_align : 0;
  const std::int64_t keep = std::min(samples, endSample - packet.pts);
  if (keep <= 0) return false;
  packet.size = static_cast<int>(keep * sound.block_align);
  packet.duration = keep;
  return true;
}

}  // namespace tovalen::ffmpeg
