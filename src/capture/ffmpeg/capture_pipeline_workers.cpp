#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "capture/ffmpeg/capture_pipeline.h"
#include "capture/ffmpeg/reader_timing.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

constexpr auto kRoomCheckInterval = std::chrono::milliseconds(500);
// Sound read before the first frame is kept this long, in case the frame's capture time is earlier.
constexpr std::int64_t kEarlyAudioUs = 1'000'000;
// Sound waits for the video to reach it; while the video is gone, this much of it at most.
constexpr std::int64_t kHeldAudioUs = 30'000'000;
// How often the sound's end looks for the video's end before it takes the last frame handed on.
constexpr int kVideoEndLooks = 2500;

}  // namespace

std::int64_t CapturePipeline::SlotOf(std::int64_t captureUs) const {
  const double periods = static_cast<double>(captureUs - m_streamStartUs) / m_job.microSecPerFrame;
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
  const auto& first = source.FirstTrouble();
  if (!first) return;
  std::string detail = first->detail;
  if (source.Troubles() > 1) detail += "; " + std::to_string(source.Troubles()) + " times";
  if (!source.IsOpen()) detail += "; gone at the end";
  std::lock_guard lock(m_mutex);
  if (!m_trouble) m_trouble = DriverError{first->reason, detail};
}

void CapturePipeline::ReadVideoPackets() {
  CaptureClock clock;
  std::uint64_t openings = m_videoSource->Openings();
  std::int64_t lastSlot = -1;
  PacketPtr packet = MakePacket();
  // After a stop the frames captured before it are still read, until one comes from after it
  // or the device has nothing more for a while.
  const auto sinceStop = [this] {
    const std::int64_t stopUs = m_stopUs;
    return stopUs == kNoStop ? INT64_MIN : SteadyMicroseconds() - stopUs;
  };
  const std::int64_t stallUs = std::chrono::microseconds(m_job.timeouts.stall).count();
  while (sinceStop() <= stallUs) {
    const ReadResult result = m_videoSource->Read(*packet);
    if (result.status != ReadStatus::kPacket) {
      if (sinceStop() > 2 * std::int64_t{m_job.microSecPerFrame}) break;
      if (StopRequested() && !m_videoSource->IsOpen()) break;
      EndIfTheVideoStaysGone();
      std::this_thread::sleep_for(kDevicePollInterval);
      continue;
    }
    // A new opening starts its timestamps afresh.
    if (std::exchange(openings, m_videoSource->Openings()) != m_videoSource->Openings()) clock = CaptureClock();
    const std::int64_t captureUs = clock.Map(packet->pts, m_videoSource->TimeBase(), m_videoSource->LastPacketUs());
    CapturedPacket item{std::move(packet), captureUs};
    packet = MakePacket();
    if (item.captureUs > m_stopUs) break;  // after the stop: not part of the capture
    std::int64_t unset = -1;
    m_streamStartUs.compare_exchange_strong(unset, item.captureUs);
    item.slot = SlotOf(item.captureUs);
    if (item.slot <= lastSlot) {
      ++m_counters.skippedForRate;
      continue;
    }
    if (PastTheTimeLimit(item.captureUs) || !CountCaptured(item)) break;
    lastSlot = item.slot;
    if (m_preview) m_preview->Offer(*item.packet, item.captureUs);
    item.turn = m_videoQueued;
    if (m_videoQueue.TryPush(item))
      ++m_videoQueued;
    else
      ++m_counters.droppedAtCapture;
  }
}

// Without frames nothing else ends the capture: the time limit (a reservation's end) does, or,
// without one, a device that has sent nothing for the give-up time.
void CapturePipeline::EndIfTheVideoStaysGone() {
  if (StopRequested()) return;
  const std::int64_t nowUs = SteadyMicroseconds();
  if (m_job.timeLimitMs) {
    if (PastTheTimeLimit(nowUs) && !m_videoSource->IsOpen())
      Trace("E: capture: the device is still gone at the end; the capture ends with what was recorded\n");
    return;
  }
  const std::int64_t quietUs = nowUs - m_videoSource->LastPacketUs();
  if (quietUs <= std::chrono::microseconds(m_job.timeouts.giveUp).count()) return;
  const std::string detail = "no frame for " + std::to_string(quietUs / 1'000'000) + " s";
  Trace("E: capture: " + detail + "; the capture ends with what was recorded\n");
  if (m_streamStartUs < 0)
    Fail({StopReason::kDeviceStalled, detail});
  else
    StopAt(nowUs, StopReason::kStopRequested, detail);
}

bool CapturePipeline::PastTheTimeLimit(std::int64_t captureUs) {
  if (!m_job.timeLimitMs) return false;
  // Before the first frame, from the start of the sequence.
  const std::int64_t startUs = m_streamStartUs >= 0 ? m_streamStartUs.load() : m_startUs;
  const std::int64_t limitUs = startUs + static_cast<std::int64_t>(*m_job.timeLimitMs) * 1000;
  if (captureUs <= limitUs) return false;
  StopAt(limitUs, StopReason::kTimeLimit, "");
  return true;
}

bool CapturePipeline::AudioCaughtUp(std::int64_t lastCaptureUs) const {
  const std::int64_t stopUs = m_stopUs;
  if (stopUs == kNoStop) return false;
  if (!m_audioSource->IsOpen()) return true;  // nothing more will come
  const std::int64_t videoEndUs = m_videoEndUs;
  if (videoEndUs != kVideoRunning && (videoEndUs == INT64_MAX || lastCaptureUs >= videoEndUs)) return true;
  return SteadyMicroseconds() - stopUs > std::chrono::microseconds(m_job.timeouts.audioTail).count();
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
      std::this_thread::sleep_for(kDevicePollInterval);
      continue;
    }
    if (std::exchange(openings, m_audioSource->Openings()) != m_audioSource->Openings()) clock = CaptureClock();
    const std::int64_t captureUs = clock.Map(packet->pts, m_audioSource->TimeBase(), m_audioSource->LastPacketUs());
    CapturedPacket item{std::move(packet), captureUs};
    packet = MakePacket();
    lastCaptureUs = item.captureUs;
    if (!m_audioQueue.TryPush(item)) ++m_counters.audioPacketsDropped;
  }
}

void CapturePipeline::EncodeVideo(VideoEncoder& encoder) {
  std::vector<PacketPtr> out;
  while (auto item = m_videoQueue.Pop()) {
    out.clear();
    EncodeOutcome outcome = EncodeOutcome::kEncoded;
    if (item->turn > m_failedTurn) {  // drain, so that the reader is never held up
      outcome = EncodeOutcome::kNotEncoded;
    } else if (m_writeQueue.Full()) {
      // Dropped before encoding: an encoded frame that later frames refer to must not be lost.
      outcome = EncodeOutcome::kNoRoomToWrite;
    } else {
      const Result<> result =
          FailOnOutOfMemory(StopReason::kEncoderFailed, [&] { return encoder.Encode(*item->packet, item->slot, out); });
      if (!result) {
        outcome = EncodeOutcome::kNotEncoded;
        std::uint64_t first = m_failedTurn;
        while (item->turn < first && !m_failedTurn.compare_exchange_weak(first, item->turn)) {
        }
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
  if (outcome == EncodeOutcome::kEncoded && item.turn > m_failedTurn) outcome = EncodeOutcome::kNotEncoded;
  switch (outcome) {
    case EncodeOutcome::kEncoded:
      ++m_counters.framesEncoded;
      m_lastWrittenSlot = item.slot;
      // An MJPEG frame already is a JPEG picture.
      if (m_job.latestPicture && m_job.settings.codec == VideoCodec::kMjpeg && !out.empty() &&
          m_job.latestPicture->Wants()) {
        m_job.latestPicture->Offer(out.front()->data, static_cast<std::size_t>(out.front()->size));
      }
      PushAll(out, m_writer->VideoStream());
      // After the frame is in the writer's queue: the sound up to it may follow.
      m_videoReachedUs = m_streamStartUs + (item.slot + 1) * std::int64_t{m_job.microSecPerFrame};
      break;
    case EncodeOutcome::kNoRoomToWrite:
      ++m_counters.droppedAtWrite;
      break;
    case EncodeOutcome::kNotEncoded:
      ++m_counters.droppedAtCapture;
      break;
  }
  m_encodeTurns.Done();
}

void CapturePipeline::EndVideo(VideoEncoder& encoder) {
  std::vector<PacketPtr> out;
  if (m_failedTurn == kNoFailure) {
    const Result<> flushed = FailOnOutOfMemory(StopReason::kEncoderFailed, [&] { return encoder.Flush(out); });
    // A failed flush loses frames the encoder still held: the capture is not complete.
    if (!flushed) Fail(flushed.Error());
    PushAll(out, m_writer->VideoStream());
  }
  if (--m_encodersRunning == 0) {
    const std::int64_t lastSlot = m_lastWrittenSlot;
    m_videoEndUs = lastSlot >= 0 ? m_streamStartUs + (lastSlot + 1) * std::int64_t{m_job.microSecPerFrame} : INT64_MAX;
  }
  ProducerDone();
}

void CapturePipeline::ConvertAudio() {
  std::deque<CapturedPacket> held;  // sound the video has not reached yet
  std::vector<PacketPtr> out;
  while (auto item = m_audioQueue.Pop()) {
    held.push_back(std::move(*item));
    const bool started = m_streamStartUs >= 0;
    while (held.back().captureUs - held.front().captureUs > (started ? kHeldAudioUs : kEarlyAudioUs)) {
      if (started) ++m_counters.audioPacketsDropped;  // the device has been gone for long
      held.pop_front();
    }
    // A packet is whole before the video's end once the next one starts there.
    const std::int64_t reachedUs = m_videoReachedUs;
    while (held.size() > 1 && held[1].captureUs <= reachedUs) {
      ConvertAudioPacket(held.front(), AudioEndUs(), out);
      held.pop_front();
    }
  }
  if (m_streamStartUs >= 0) {
    // The video's end is near once the sound has ended; the encoders only finish their frames.
    for (int looks = 0; looks < kVideoEndLooks && m_videoEndUs == kVideoRunning; ++looks)
      std::this_thread::sleep_for(kDevicePollInterval);
    const std::int64_t endUs = AudioEndUs();
    for (const CapturedPacket& item : held) ConvertAudioPacket(item, endUs, out);
    FillAudioTo(endUs, out);
  }
  ProducerDone();
}

// Until the video has ended, nothing after the stop belongs to the capture either.
std::int64_t CapturePipeline::AudioEndUs() const {
  const std::int64_t videoEndUs = m_videoEndUs;
  if (videoEndUs != kVideoRunning) return videoEndUs;
  const std::int64_t stopUs = m_stopUs;
  return stopUs != kNoStop ? std::min(stopUs + m_job.microSecPerFrame, m_videoReachedUs.load()) : INT64_MAX;
}

void CapturePipeline::ConvertAudioPacket(const CapturedPacket& item, std::int64_t endUs, std::vector<PacketPtr>& out) {
  out.clear();
  const Result<> converted = FailOnOutOfMemory(StopReason::kAudioFailed, [&] {
    return m_audioConverter->Convert(*item.packet, item.captureUs, m_streamStartUs, endUs, out);
  });
  if (!converted) {
    Fail({converted.Error().reason, "the sound could not be converted: " + converted.Error().detail});
    return;
  }
  m_counters.audioSamples = m_audioConverter->SamplesWritten();
  PushAll(out, m_writer->AudioStream());
}

// Sound that ended before the video (an input that went away) is filled with silence to its end.
void CapturePipeline::FillAudioTo(std::int64_t endUs, std::vector<PacketPtr>& out) {
  if (endUs == INT64_MAX) return;
  out.clear();
  const Result<> filled = FailOnOutOfMemory(StopReason::kAudioFailed,
                                            [&] { return m_audioConverter->FillTo(m_streamStartUs, endUs, out); });
  if (!filled) return Fail(filled.Error());
  m_counters.audioSamples = m_audioConverter->SamplesWritten();
  PushAll(out, m_writer->AudioStream());
}

bool CapturePipeline::PushAll(std::vector<PacketPtr>& packets, int stream) {
  for (PacketPtr& packet : packets)
    if (!m_writeQueue.Push(OutputPacket{std::move(packet), stream})) return false;
  return true;
}

void CapturePipeline::ProducerDone() {
  if (--m_producers == 0) m_writeQueue.Close();
}

void CapturePipeline::Write() {
  auto lastCheck = std::chrono::steady_clock::now();
  bool writing = true;
  std::int64_t videoEndSlot = 0;     // after the last video frame written
  std::int64_t soundUntilSlot = -1;  // out of room: the sound still goes up to the video's end
  while (auto item = m_writeQueue.Pop()) {
    const bool video = item->stream == m_writer->VideoStream();
    if (writing && std::chrono::steady_clock::now() - lastCheck >= kRoomCheckInterval) {
      lastCheck = std::chrono::steady_clock::now();
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
        ++m_counters.framesWritten;
        continue;
      }
    }
    if (video) ++m_counters.droppedAtWrite;
  }
  if (const auto finished = m_writer->Finish(); !finished) Fail(finished.Error());
  m_finished = true;
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
