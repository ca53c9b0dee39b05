#include <cmath>

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
  CaptureClock clock;
  std::int64_t lastSlot = -1;
  PacketPtr packet = MakePacket();
  // After a stop the frames captured before it are still read, until one comes from after it
  // or the device has nothing more for a while.
  const auto sinceStop = [this] { return m_stopRequested ? SteadyMicroseconds() - m_stopUs : INT64_MIN; };
  const std::int64_t stallUs = std::chrono::microseconds(m_job.timeouts.stall).count();
  while (sinceStop() <= stallUs) {
    const ReadResult result = m_videoSource->Read(*packet);
    if (result.status == ReadStatus::kAgain) {
      if (sinceStop() > 2 * std::int64_t{m_job.microSecPerFrame}) break;
      std::this_thread::sleep_for(kDevicePollInterval);
      continue;
    }
    if (result.status != ReadStatus::kPacket) {
      if (!m_stopRequested)
        Fail(StopReason::kDeviceLost, result.status == ReadStatus::kEnd ? "end of stream" : AvErrorText(result.error));
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
    if (!m_videoQueue.TryPush(item)) ++m_counters.droppedAtCapture;
  }
  m_videoQueue.Close();
}

bool CapturePipeline::PastTheTimeLimit(std::int64_t captureUs) {
  if (!m_job.timeLimitMs) return false;
  const std::int64_t limitUs = m_streamStartUs + std::int64_t{*m_job.timeLimitMs} * 1000;
  if (captureUs <= limitUs) return false;
  StopAt(limitUs, StopReason::kTimeLimit, "");
  return true;
}

bool CapturePipeline::AudioCaughtUp(std::int64_t lastCaptureUs) const {
  if (!m_stopRequested) return false;
  if (m_videoFinished && (m_videoEndUs == INT64_MAX || lastCaptureUs >= m_videoEndUs)) return true;
  return SteadyMicroseconds() - m_stopUs > std::chrono::microseconds(m_job.timeouts.audioTail).count();
}

void CapturePipeline::ReadAudio() {
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
      Fail(StopReason::kAudioFailed, result.status == ReadStatus::kEnd ? "end of stream" : AvErrorText(result.error));
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
  m_audioQueue.Close();
}

void CapturePipeline::EncodeVideo() {
  std::int64_t lastSlot = -1;
  bool failed = false;
  std::vector<PacketPtr> out;
  while (auto item = m_videoQueue.Pop()) {
    const std::int64_t slot = item->slot;
    if (failed) {  // drain, so that the reader is never held up
      ++m_counters.droppedAtCapture;
      continue;
    }
    // Dropped before encoding: an encoded frame that later frames refer to must not be lost.
    if (m_writeQueue.Full()) {
      ++m_counters.droppedAtWrite;
      continue;
    }
    out.clear();
    if (!m_videoEncoder->Encode(*item->packet, slot, out)) {
      Fail(StopReason::kEncoderFailed, "frame " + std::to_string(slot));
      ++m_counters.droppedAtCapture;
      failed = true;
      continue;
    }
    lastSlot = slot;
    ++m_counters.framesEncoded;
    PushAll(out, m_writer->VideoStream());
  }
  out.clear();
  if (!failed && m_videoEncoder->Flush(out)) PushAll(out, m_writer->VideoStream());
  if (lastSlot >= 0) m_videoEndUs = m_streamStartUs + (lastSlot + 1) * std::int64_t{m_job.microSecPerFrame};
  m_videoFinished = true;
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
  const std::int64_t endUs =
      m_videoFinished ? m_videoEndUs.load() : (m_stopRequested ? m_stopUs.load() + m_job.microSecPerFrame : INT64_MAX);
  if (!m_audioConverter->Convert(*item.packet, item.captureUs, m_streamStartUs, endUs, out)) {
    Fail(StopReason::kAudioFailed, "the sound could not be converted");
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
      if (const auto noRoom = m_writer->CheckRoom(m_job.spaceProbe)) {
        Fail(*noRoom, "stopped while the index still fits");
        writing = false;
      }
    }
    // Once writing has stopped, packets are still taken so that no producer waits forever.
    if (writing) {
      if (const auto failure = m_writer->Write(*item->packet, item->stream)) {
        Fail(*failure, m_writer->LastError());
        writing = false;
      } else if (video) {
        ++m_counters.framesWritten;
        continue;
      }
    }
    if (video) ++m_counters.droppedAtWrite;
  }
  if (const auto failure = m_writer->Finish()) Fail(*failure, "finishing the file: " + m_writer->LastError());
  m_finished = true;
  m_loop.Wake();
}

}  // namespace tovalen::ffmpeg
