#pragma once

#include <chrono>
#include <csignal>

#include "platform/main_loop.h"

namespace tovalen {

// The main loop of a program without a user interface: there are no events to pump, a wait is
// a poll on a wake-up pipe, and the only abort input is a termination signal, reported while a
// ScopedTerminationSignals watches for it.
class PlainMainLoop : public MainLoop {
 public:
  // Throws std::system_error when the pipe cannot be made.
  PlainMainLoop();
  ~PlainMainLoop() override;
  PlainMainLoop(const PlainMainLoop&) = delete;
  PlainMainLoop& operator=(const PlainMainLoop&) = delete;

  void PumpAndWait(std::chrono::milliseconds timeout) override;
  void Wake() override;
  AbortInput TakeAbortInput() override;

 private:
  friend class ScopedTerminationSignals;

  int m_readFd = -1;
  int m_writeFd = -1;
};

// Turns SIGINT and SIGTERM into an abort input of the loop, instead of ending the process, for
// its lifetime; the previous handlers come back afterwards. One at a time per process: a second
// one throws std::logic_error.
class ScopedTerminationSignals {
 public:
  explicit ScopedTerminationSignals(PlainMainLoop& loop);
  ~ScopedTerminationSignals();
  ScopedTerminationSignals(const ScopedTerminationSignals&) = delete;
  ScopedTerminationSignals& operator=(const ScopedTerminationSignals&) = delete;

 private:
  struct sigaction m_previousInt {};
  struct sigaction m_previousTerm {};
};

}  // namespace tovalen
