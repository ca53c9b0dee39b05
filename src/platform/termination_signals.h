#pragma once

#include <csignal>

namespace tovalen {

class PlainMainLoop;

// Turns SIGINT, SIGTERM and SIGHUP into a request that the program takes when it is ready
// (TakeTerminationSignal), instead of ending the process, for its lifetime: each signal also
// writes a byte to the wake-up descriptor, so that a loop waiting on it wakes. The previous
// handlers come back afterwards. One at a time per process: a second one throws
// std::logic_error.
class ScopedTerminationSignals {
 public:
  explicit ScopedTerminationSignals(int wakeFd);
  // Wakes the plain loop, whose abort input reports the signal.
  explicit ScopedTerminationSignals(PlainMainLoop& loop);
  ~ScopedTerminationSignals();
  ScopedTerminationSignals(const ScopedTerminationSignals&) = delete;
  ScopedTerminationSignals& operator=(const ScopedTerminationSignals&) = delete;

 private:
  struct sigaction m_previousInt {};
  struct sigaction m_previousTerm {};
  struct sigaction m_previousHup {};
};

// Whether a termination signal arrived since the last call. Safe from any thread.
bool TakeTerminationSignal();

}  // namespace tovalen
