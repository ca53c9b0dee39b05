#include <cmath>
#include <new>

#include "capture/ffmpeg/capture_pipeline.h"
#include "capture/ffmpeg/reader_timing.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

constexpr auto kRoomCheckInterval = std::chrono::milliseconds(500);
// Sound read before the first frame is kept this long, in case the frame's capture time is earlier.
constexpr std::int64_t kEarlyAudioUs = 1'000'000;

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
  m_videoQueue.Close();
}

void CapturePipeline::ReadVideoPackets() {
  CaptureClock clock;
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
    if (result.status == ReadStatus::kAgain) {
      if (sinceStop() > 2 * std::int64_t{m_job.microSecPerFrame}) break;
      std::this_thread::sleep_for(kDevicePollInterval);
      continue;
    }
    if (result.status != ReadStatus::kPacket) {
      if (!StopRequested())
        Fail(result.status == ReadStatus::kEnd ? DriverError{StopReason::kDeviceLost, "end of stream"}
                                               : AvFailure(StopReason::kDeviceLost, "reading", result.error));
      break;
    }
    const std::int64_t arrival = SteadyMicroseconds();
    m_lastVideoArrivalUs = arrival;
    const std::int64_t captureUs = clock.Map(packet->pts, m_videoSource->TimeBase(), arrival);
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

bool CapturePipeline::PastTheTimeLimit(std::int64_t captureUs) {
  if (!m_job.timeLimitMs) return false;
  const std::int64_t limitUs = m_streamStartUs + std::int64_t{*m_job.timeLimitMs} * 1000;
  if (captureUs <= limitUs) return false;
  StopAt(limitUs, StopReason::kTimeLimit, "");
  return true;
}

bool CapturePipeline::AudioCaughtUp(std::int64_t lastCaptureUs) const {
  const std::int64_t stopUs = m_stopUs;
  if (stopUs == kNoStop) return false;
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
  m_audioQueue.Close();
}

void CapturePipeline::ReadAudioPackets() {
  CaptureClock clock;
  PacketPtr packet = MakePacket();
  std::int64_t lastCaptureUs = INT64_MIN;
  // After a stop the sound goes on until it covers the last frame.
  while (!AudioCaughtUp(lastCaptureUs)) {
    const ReadResult result = m_audioSource->Read(*packet);
    if (result.status == ReadStatus::kAgain) {
      std::this_thread::sleep_for(kDevicePollInterval);
      continue;
    }
    if (result.status != ReadStatus::kPacket) {
      Fail(result.status == ReadStatus::kEnd ? DriverError{StopReason::kAudioFailed, "end of stream"}
                                             : AvFailure(StopReason::kAudioFailed, "reading", result.error));
      break;
    }
    const std::int64_t arrival = SteadyMicroseconds();
    m_lastAudioArrivalUs = arrival;
    const std::int64_t captureUs = clock.Map(packet->pts, m_audioSource->TimeBase(), arrival);
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
      PushAll(out, m_writer->VideoStream());
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
  std::deque<CapturedPacket> early;  // read before the first frame fixed the stream's start
  std::vector<PacketPtr> out;
  while (auto item = m_audioQueue.Pop()) {
    if (m_streamStartUs < 0) {
      early.push_back(std::move(*item));
      while (early.back().captureUs - early.front().captureUs > kEarlyAudioUs) early.pop_front();
      continue;
    }
    for (const CapturedPacket& waiting : early) ConvertAudioPacket(waiting, out);
    early.clear();
    ConvertAudioPacket(*item, out);
  }
  ProducerDone();
}

void CapturePipeline::ConvertAudioPacket(const CapturedPacket& item, std::vector<PacketPtr>& out) {
  out.clear();
  // Until the video has ended, nothing after the stop belongs to the capture either.
  const std::int64_t videoEndUs = m_videoEndUs;
  const std::int64_t stopUs = m_stopUs;
  const std::int64_t endUs =
      videoEndUs != kVideoRunning ? videoEndUs : (stopUs != kNoStop ? stopUs + m_job.microSecPerFrame : INT64_MAX);
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
  while (auto item = m_writeQueue.Pop()) {
    const bool video = item->stream == m_writer->VideoStream();
    if (writing && std::chrono::steady_clock::now() - lastCheck >= kRoomCheckInterval) {
      lastCheck = std::chrono::steady_clock::now();
      // Stopping while there is room for the index leaves a complete file.
      if (const auto room = m_writer->CheckRoom(m_job.spaceProbe); !room) {
        Fail({room.Error().reason, "stopped while the index still fits: " + room.Error().detail});
        writing = false;
      }
    }
    // Once writing has stopped, packets are still taken so that no producer waits forever.
    if (writing) {
      if (const auto written = m_writer->Write(*item->packet, item->stream); !written) {
        Fail(written.Error());
        writing = false;
      } else if (video) {
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

}  // namespace tovalen::ffmpeg
