#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "capture/leftover_recovery.h"

namespace tovalen {

// Which of its states the recording runner is in; each has its own activity text.
enum class RunnerState {
  kIdle,         // "アイドル": not opened yet
  kNothingToDo,  // "予約なし"
  kWaiting,      // "予約待機中"
  kStarting,     // "録画開始中"
  kRecording,    // "録画中 %d frame"
  kError,        // "キャプチャ開始時にエラー発生"
  kFinished,     // "終了"
};

// What the runner's window shows, pushed whole at every change.
struct RunnerDisplay {
  std::string nextReservation;  // control 1017: a reservation's list text, or empty
  std::string activity;         // control 1018: the activity text of `state`
  std::string failure;          // in the error state: why the recording failed; empty otherwise
  RunnerState state = RunnerState::kIdle;
  // While recording: the capture time of the last frame and the length being recorded.
  std::int32_t elapsedMs = 0;
  std::int32_t recordSeconds = 0;

  bool operator==(const RunnerDisplay&) const = default;
};

// The window the recording runner works through: the GUI's status dialog, the command-line
// runner, or a fake in tests. Called on the user-interface thread only.
class RunnerWindow {
 public:
  virtual ~RunnerWindow() = default;

  // Shows both texts.
  virtual void Show(const RunnerDisplay& display) = 0;
  // Arms the one-shot timer `id` (replacing one armed with that id); once it has fallen due the
  // window calls the runner's OnTimer(id). A zero delay means as soon as the window's loop runs.
  // Delays never exceed CRecordingRunner::kLongestTimerDelay, which every platform timer holds.
  virtual void ArmTimer(std::uint32_t id, std::chrono::milliseconds delay) = 0;
  // Disarms the timer; harmless when it is not armed or has fired.
  virtual void KillTimer(std::uint32_t id) = 0;
  // A line the user must see besides the two texts (a reservation dropped or started late, the
  // name a late start records into), which the window may print.
  virtual void Note(const std::string& /*line*/) {}
  // What became of a leftover of a killed recording, rebuilt beside the timetable.
  virtual void NoteLeftover(const LeftoverReport& report) { Note(DescribeLeftoverReport(report)); }
};

}  // namespace tovalen
