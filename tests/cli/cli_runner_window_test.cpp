#include "cli/cli_runner_window.h"

#include <gmock/gmock.h>

#include <sstream>
#include <utility>

namespace tovalen::cli {
namespace {

using std::chrono::milliseconds;

const TimerQueue::TimePoint kT0{std::chrono::seconds(1'700'000'000)};

RunnerDisplay Display(RunnerState state, std::string activity, std::string next = "") {
  RunnerDisplay display;
  display.state = state;
  display.activity = std::move(activity);
  display.nextReservation = std::move(next);
  return display;
}

RunnerDisplay Frame(int frame, std::int32_t elapsedMs) {
  RunnerDisplay display = Display(RunnerState::kRecording, "録画中 " + std::to_string(frame) + " frame", "A");
  display.elapsedMs = elapsedMs;
  display.recordSeconds = 2;
  return display;
}

class CliRunnerWindowTest : public ::testing::Test {
 protected:
  std::ostringstream out;
  TimerQueue timers;
  std::uint32_t dropped = 0;
  std::uint32_t reconnects = 0;
  std::string messages;
  CliRunnerWindow window{out, timers,
                         CaptureReadings{[this] { return std::optional(dropped); },
                                         [this] { return std::exchange(messages, ""); }, [this] { return reconnects; }},
                         [] { return kT0; }};
};

TEST_F(CliRunnerWindowTest, PrintsEachNewActivityOnce) {
  window.Show(Display(RunnerState::kWaiting, "予約待機中", "A"));
  window.Show(Display(RunnerState::kWaiting, "予約待機中", "A"));
  window.Show(Display(RunnerState::kStarting, "録画開始中", "A"));
  messages = "ファイルの書き込み 失敗!";
  window.Show(Display(RunnerState::kError, "キャプチャ開始時にエラー発生", "A"));
  window.Show(Display(RunnerState::kStarting, "録画開始中", "B"));
  RunnerDisplay failed = Display(RunnerState::kError, "キャプチャ開始時にエラー発生", "B");
  failed.failure = "the recording failed: the disk is full";
  window.Show(failed);
  window.Show(Display(RunnerState::kFinished, "終了"));
  EXPECT_EQ(out.str(),
            "予約待機中: A\n録画開始中: A\nキャプチャ開始時にエラー発生: A (ファイルの書き込み 失敗!)\n"
            "録画開始中: B\nキャプチャ開始時にエラー発生: B\n  the recording failed: the disk is full\n終了\n");
}

TEST_F(CliRunnerWindowTest, PrintsRecordingProgressAtMostOnceASecond) {
  window.Show(Display(RunnerState::kStarting, "録画開始中", "A"));
  const std::int32_t times[] = {0, 400, 999, 1000, 1600, 2100, 2900, 3000};
  for (int frame = 0; frame < 8; ++frame) {
    dropped = static_cast<std::uint32_t>(frame / 4);
    reconnects = static_cast<std::uint32_t>(frame / 5 + frame / 7);  // a network stream connected again
    window.Show(Frame(frame, times[frame]));
  }
  window.Show(Display(RunnerState::kWaiting, "予約待機中", "B"));
  // The next recording counts its seconds afresh.
  window.Show(Display(RunnerState::kStarting, "録画開始中", "B"));
  reconnects = 0;
  window.Show(Frame(0, 0));
  EXPECT_EQ(out.str(),
            "録画開始中: A\n"
            "録画中 0 frame: 0 of 2 s recorded, 0 dropped\n"
            "録画中 3 frame: 1 of 2 s recorded, 0 dropped\n"
            "録画中 5 frame: 2 of 2 s recorded, 1 dropped, 1 reconnect\n"
            "録画中 7 frame: 3 of 2 s recorded, 1 dropped, 2 reconnects\n"
            "予約待機中: B\n"
            "録画開始中: B\n"
            "録画中 0 frame: 0 of 2 s recorded, 1 dropped\n");
}

TEST_F(CliRunnerWindowTest, ArmsTimersOnTheWallClock) {
  window.ArmTimer(1, milliseconds(5000));
  window.ArmTimer(2, milliseconds(0));
  window.ArmTimer(3, milliseconds(0));
  window.KillTimer(3);
  EXPECT_EQ(timers.TakeDue(kT0), 2u);
  EXPECT_EQ(timers.TakeDue(kT0 + milliseconds(4999)), std::nullopt);
  EXPECT_EQ(timers.TakeDue(kT0 + milliseconds(5000)), 1u);
  EXPECT_TRUE(timers.Empty());
}

}  // namespace
}  // namespace tovalen::cli
