#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/active_runner.h"
#include "capture/capture_listener.h"

namespace tovalen::testing {

// Hears what the controller tells about its captures: through the active runner's calls once
// activated, through the listener's once installed (CVideoCap::SetCaptureListener). Writes down
// the listener's calls and the finished capture in order, one line each.
class FakeCaptureListener : public CActiveRunner, public CaptureListener {
 public:
  using CActiveRunner::Activate;
  using CActiveRunner::Deactivate;

  void UpdateFrameCount(std::int32_t elapsedMs) override { frames.push_back(elapsedMs); }
  std::int32_t GetRecordSeconds() const override {
    ++recordSecondsAsked;
    return recordSeconds;
  }
  void OnCaptureFinished() override {
    ++finished;
    calls.push_back("finished");
  }

  void OnCaptureStarted(const CaptureProgress& p) override { Note("start", p); }
  void OnCaptureProgress(const CaptureProgress& p) override { Note("frame", p); }
  void OnCaptureEnded() override { calls.push_back("end"); }
  bool HasReachedItsEnd() const override { return reachedItsEnd; }

  std::int32_t recordSeconds = 0;
  bool reachedItsEnd = false;
  std::vector<std::int32_t> frames;
  mutable int recordSecondsAsked = 0;
  int finished = 0;
  std::vector<std::string> calls;

 private:
  void Note(const char* what, const CaptureProgress& p) {
    calls.push_back(std::string(what) + " " + p.fileName + " " + std::to_string(p.elapsedMs) + " ms " +
                    std::to_string(p.frames) + (p.reconnects ? " reconnects " + std::to_string(p.reconnects) : ""));
  }
};

}  // namespace tovalen::testing
