#pragma once

#include <chrono>
#include <thread>

namespace tovalen::testing {

// Checks the condition every `step` until it holds or `limit` has passed, so that a busy machine
// only makes a test slower; whether it held.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds step = std::chrono::milliseconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace tovalen::testing
