#pragma once

#include <cstdint>
#include <vector>

#include "capture/active_runner.h"

namespace tovalen::testing {

// A runner that records what the controller tells it. Not active until Activate.
class FakeActiveRunner : public CActiveRunner {
 public:
  using CActiveRunner::Activate;
  using CActiveRunner::Deactivate;

  void UpdateFrameCount(std::int32_t elapsedMs) override { frames.push_back(elapsedMs); }
  std::int32_t GetRecordSeconds() const override {
    ++recordSecondsAsked;
    return recordSeconds;
  }
  void OnCaptureFinished() override { ++finished; }

  std::int32_t recordSeconds = 0;
  std::vector<std::int32_t> frames;
  mutable int recordSecondsAsked = 0;
  int finished = 0;
};

}  // namespace tovalen::testing
