#include "runner_test.h"

#include <cstdlib>

#include "support/reservation.h"

namespace tovalen::testing {

using ::testing::_;
using ::testing::SaveArg;

RunnerTest::RunnerTest() {
  if (const char* old = std::getenv("XDG_STATE_HOME")) m_previousState = old;
  ::setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
  window.runner = &runner;
  runner.SetSchedule(schedule);
  SCaptureSettings settings = cap->GetCaptureSettings();
  settings.iCapDriverId = 0;
  cap->SetCaptureSettings(settings);

  ON_CALL(*driver, SetCallbackOnVideoStream).WillByDefault(SaveArg<1>(&m_callback));
  ON_CALL(*driver, CaptureStop).WillByDefault([this](auto) { return m_stopRequested = true; });
  ON_CALL(*driver, CaptureSequence).WillByDefault([this](CaptureWindowHandle w) { return CaptureSequence(w); });
  ON_CALL(*driver, FileSaveAs).WillByDefault([this](auto, const std::string& path) {
    if (failSaves > 0) {
      --failSaves;
      return false;
    }
    savedFiles.push_back(path);
    return true;
  });
}

bool RunnerTest::CaptureSequence(CaptureWindowHandle w) {
  constexpr std::int32_t kLongestCaptureMs = 600'000;
  m_stopRequested = false;
  const std::int64_t startMs = Clock::NowMs();
  for (std::int32_t t = 0; !m_stopRequested && t <= kLongestCaptureMs; t += kFramePeriodMs) {
    clock.SetMs(startMs + t);
    if (fireTimersDuringCapture) window.FireDueTimers();
    m_callback(w, SVideoHeader{static_cast<std::uint32_t>(90'000 + t), 0});
  }
  if (failSequences == 0) return true;
  --failSequences;
  return false;
}

RunnerTest::~RunnerTest() {
  CVideoCapTestAccess::Destroy();
  m_previousState ? ::setenv("XDG_STATE_HOME", m_previousState->c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
}

std::vector<std::int32_t> RunnerTest::LastFrameMs() const {
  std::vector<std::int32_t> last;
  bool recording = false;
  for (const auto& shown : window.shown) {
    const bool frame = shown.display.state == RunnerState::kRecording;
    if (frame && !recording) last.push_back(0);
    if (frame) last.back() = shown.display.elapsedMs;
    recording = frame;
  }
  return last;
}

SYoyaku RunnerTest::Make(std::int64_t offset, Span32 length, const std::string& path) {
  return Reservation(kT0 + offset, length, "番組", path);
}

SYoyaku RunnerTest::Add(std::int64_t offset, Span32 length, const std::string& name) {
  const SYoyaku yoyaku = Make(offset, length, name.empty() ? "" : dir.File(name));
  schedule.AddYoyaku(yoyaku);
  return yoyaku;
}

void RunnerTest::RunUntil(std::int64_t offset) {
  while (const auto next = window.NextTimer()) {
    if (next->second > kT0 + offset) break;
    if (next->second > Clock::Now()) clock.Set(next->second);
    window.Fire(next->first);
  }
  if (Clock::Now() < kT0 + offset) clock.Set(kT0 + offset);
}

std::vector<std::string> RunnerTest::TakeShown() {
  std::vector<std::string> texts;
  for (; m_taken < window.shown.size(); ++m_taken) {
    const RunnerDisplay& display = window.shown[m_taken].display;
    texts.push_back(display.activity + " | " + display.nextReservation);
  }
  return texts;
}

std::vector<std::int64_t> RunnerTest::ShownAt(const std::string& activity) const {
  std::vector<std::int64_t> times;
  for (const auto& shown : window.shown) {
    if (shown.display.activity == activity) times.push_back(shown.at - kT0);
  }
  return times;
}

}  // namespace tovalen::testing
