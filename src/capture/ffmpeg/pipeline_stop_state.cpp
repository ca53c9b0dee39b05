#include "capture/ffmpeg/pipeline_stop_state.h"

#include <algorithm>

namespace tovalen::ffmpeg {

void PipelineStopState::ExpectWorkers(int encoderWorkers, int producers) {
  std::lock_guard lock(m_mutex);
  m_encoderWorkers = encoderWorkers;
  m_producers = producers;
}

void PipelineStopState::StepTaken() {
  ++m_steps;
  m_stepTaken.notify_all();
}

void PipelineStopState::SetFirstFrame(std::int64_t captureUs) {
  std::lock_guard lock(m_mutex);
  if (!m_firstFrameUs) m_firstFrameUs = captureUs;
}

std::optional<std::int64_t> PipelineStopState::FirstFrameUs() const {
  std::lock_guard lock(m_mutex);
  return m_firstFrameUs;
}

void PipelineStopState::StopAt(std::int64_t stopUs) {
  std::lock_guard lock(m_mutex);
  if (m_stopUs) return;
  // A frame's capture time may run ahead of the clock; one admitted already stays in.
  m_stopUs = m_lastAdmittedUs ? std::max(stopUs, *m_lastAdmittedUs) : stopUs;
  StepTaken();
}

std::optional<std::int64_t> PipelineStopState::StopUs() const {
  std::lock_guard lock(m_mutex);
  return m_stopUs;
}

bool PipelineStopState::IsAfterStop(std::int64_t captureUs) const {
  std::lock_guard lock(m_mutex);
  return m_stopUs && captureUs > *m_stopUs;
}

bool PipelineStopState::Admit(std::int64_t captureUs) {
  std::lock_guard lock(m_mutex);
  if (m_stopUs && captureUs > *m_stopUs) return false;
  m_lastAdmittedUs = captureUs;
  return true;
}

void PipelineStopState::SetVideoReached(std::int64_t endUs) {
  std::lock_guard lock(m_mutex);
  m_videoReachedUs = endUs;
}

std::optional<std::int64_t> PipelineStopState::VideoReachedUs() const {
  std::lock_guard lock(m_mutex);
  return m_videoReachedUs;
}

void PipelineStopState::NoteFailedTurn(std::uint64_t turn) {
  std::lock_guard lock(m_mutex);
  if (!m_failedTurn || turn < *m_failedTurn) m_failedTurn = turn;
}

bool PipelineStopState::FailedBefore(std::uint64_t turn) const {
  std::lock_guard lock(m_mutex);
  return m_failedTurn && turn > *m_failedTurn;
}

bool PipelineStopState::AnyFailed() const {
  std::lock_guard lock(m_mutex);
  return m_failedTurn.has_value();
}

void PipelineStopState::EncoderWorkerDone() {
  std::lock_guard lock(m_mutex);
  if (--m_encoderWorkers > 0) return;
  // Every frame handed on was handed on before its worker got here.
  m_videoEnd = VideoEnd{m_videoReachedUs};
  StepTaken();
}

std::optional<PipelineStopState::VideoEnd> PipelineStopState::VideoEnded() const {
  std::lock_guard lock(m_mutex);
  return m_videoEnd;
}

std::optional<PipelineStopState::VideoEnd> PipelineStopState::WaitForVideoEnd(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  m_stepTaken.wait_for(lock, timeout, [&] { return m_videoEnd.has_value(); });
  return m_videoEnd;
}

bool PipelineStopState::ProducerDone() {
  std::lock_guard lock(m_mutex);
  return --m_producers == 0;
}

void PipelineStopState::SetFinished() {
  std::lock_guard lock(m_mutex);
  m_finished = true;
  StepTaken();
}

bool PipelineStopState::Finished() const {
  std::lock_guard lock(m_mutex);
  return m_finished;
}

void PipelineStopState::PollPause(std::chrono::milliseconds period) const {
  std::unique_lock lock(m_mutex);
  const std::uint64_t steps = m_steps;
  m_stepTaken.wait_for(lock, period, [&] { return m_steps != steps; });
}

}  // namespace tovalen::ffmpeg
