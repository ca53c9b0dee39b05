#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "recording/runner_window.h"

namespace tovalen::web {

// What became of a reservation this server recorded, or how far the recording under way is.
struct RecordingProgress {
  std::int64_t start = 0;  // the reservation's start
  std::string file;        // the file actually recorded into
  bool failed = false;
  std::string reason;  // why it failed
  std::int32_t elapsedMs = 0;
  std::int64_t frames = 0;
  std::int64_t drops = 0;
};

// The running schedule as the web sees it, copied whole under a lock.
struct LiveSnapshot {
  RunnerDisplay display;
  int device = -1;
  std::optional<RecordingProgress> current;
  std::map<std::int64_t, RecordingProgress> finished;  // by start
  int recorded = 0;
  int failed = 0;
};

// Written by the runner's thread, read by the server's threads.
class LiveState {
 public:
  void SetDevice(int device);
  // The runner starts the reservation at `start` into `file`: it is the one under way until the
  // runner shows another state; an error shown then is why it failed.
  void Starting(std::int64_t start, const std::string& file);
  void Show(const RunnerDisplay& display);
  // The capture of the one under way records into `file` (a late start's name may differ).
  void CaptureStarted(const std::string& file);
  void Progress(std::int32_t elapsedMs, std::int64_t frames, std::optional<std::int64_t> drops);

  LiveSnapshot Snapshot() const;

 private:
  void FinishCurrent(bool failed, const std::string& reason);

  mutable std::mutex m_mutex;
  LiveSnapshot m_state;
};

}  // namespace tovalen::web
