#include "web/live_state.h"

namespace tovalen::web {

void LiveState::SetDevice(int device) {
  std::lock_guard lock(m_mutex);
  m_state.device = device;
}

void LiveState::Starting(std::int64_t start, const std::string& file) {
  std::lock_guard lock(m_mutex);
  if (m_state.current) FinishCurrent(false, {});
  m_state.current = RecordingProgress{start, file, false, {}, 0, 0, 0};
}

void LiveState::Show(const RunnerDisplay& display) {
  std::lock_guard lock(m_mutex);
  m_state.display = display;
  if (!m_state.current) return;
  if (display.state == RunnerState::kError) {
    FinishCurrent(true, display.failure);
  } else if (display.state != RunnerState::kStarting && display.state != RunnerState::kRecording) {
    FinishCurrent(false, {});
  }
}

void LiveState::CaptureStarted(const std::string& file) {
  std::lock_guard lock(m_mutex);
  if (m_state.current) m_state.current->file = file;
}

void LiveState::Progress(std::int32_t elapsedMs, std::int64_t frames, std::optional<std::int64_t> drops) {
  std::lock_guard lock(m_mutex);
  if (!m_state.current) return;
  m_state.current->elapsedMs = elapsedMs;
  m_state.current->frames = frames;
  if (drops) m_state.current->drops = *drops;
}

void LiveState::FinishCurrent(bool failed, const std::string& reason) {
  RecordingProgress done = std::move(*m_state.current);
  m_state.current.reset();
  done.failed = failed;
  done.reason = reason;
  ++(failed ? m_state.failed : m_state.recorded);
  m_state.finished[done.start] = std::move(done);
}

LiveSnapshot LiveState::Snapshot() const {
  std::lock_guard lock(m_mutex);
  return m_state;
}

}  // namespace tovalen::web
