#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fake_runner_window.h"
#include "platform/clock.h"
#include "recording/recording_runner.h"
#include "schedule/yoyaku_schedule.h"
#include "support/temp_dir.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {

// A runner on a fake clock and fake timers, recording through a controller on the mock driver.
// The driver's capture sequence delivers a frame every 500 ms of fake time until the controller
// stops it.
class RunnerTest : public VideoCapTest {
 protected:
  static constexpr std::int64_t kT0 = 1'700'000'000;  // 2023-11-14 22:13:20 UTC
  static constexpr std::int32_t kFramePeriodMs = 500;

  RunnerTest();
  // The driver's actions use this fixture's members, so the controller goes first.
  ~RunnerTest() override;

  // Adds a reservation starting `offset` seconds after kT0, recording into dir/name.
  SYoyaku Add(std::int64_t offset, Span32 length, const std::string& name);
  static SYoyaku Make(std::int64_t offset, Span32 length, const std::string& path);
  // Lets the window's loop run until kT0 + offset, firing each timer at its due second.
  void RunUntil(std::int64_t offset);

  // "activity | next reservation" of everything shown since the last call.
  std::vector<std::string> TakeShown();
  // The time each display with this activity was shown, as offsets from kT0.
  std::vector<std::int64_t> ShownAt(const std::string& activity) const;
  // The capture time of the last frame shown of each recording, in order.
  std::vector<std::int32_t> LastFrameMs() const;

  ScopedFakeClock clock{kT0};
  TempDir dir;
  CYoyakuSchedule schedule;
  FakeRunnerWindow window;
  CRecordingRunner runner{window};

  // The window's loop also runs during a capture, as the GUI's does.
  bool fireTimersDuringCapture = false;
  int failSequences = 0;  // the next so many capture sequences fail
  int failSaves = 0;      // the next so many saves fail
  std::vector<std::string> savedFiles;

 private:
  bool CaptureSequence(CaptureWindowHandle window);

  std::optional<std::string> m_previousState;
  FrameCallback m_callback;
  bool m_stopRequested = false;
  std::size_t m_taken = 0;
};

}  // namespace tovalen::testing
