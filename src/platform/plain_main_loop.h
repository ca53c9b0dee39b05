#pragma once

#include <chrono>

#include "platform/main_loop.h"
#include "platform/posix_file.h"
#include "platform/termination_signals.h"

namespace tovalen {

// The main loop of a program without a user interface: there are no events to pump, a wait is
// a poll on a wake-up pipe, and the only abort input is a termination signal, reported while a
// ScopedTerminationSignals watches for it.
class PlainMainLoop : public MainLoop {
 public:
  // Throws std::system_error when the pipe cannot be made.
  PlainMainLoop();
  PlainMainLoop(const PlainMainLoop&) = delete;
  PlainMainLoop& operator=(const PlainMainLoop&) = delete;

  void PumpAndWait(std::chrono::milliseconds timeout) override;
  void Wake() override;
  AbortInput TakeAbortInput() override;
  bool InputWakesIt() const override { return true; }  // a watched signal writes to the pipe
  // Becomes readable on a wake-up or a watched signal: another loop (the GUI's) can poll it.
  int WakeFd() const { return m_readFd.get(); }

 private:
  friend class ScopedTerminationSignals;

  FileDescriptor m_readFd;
  FileDescriptor m_writeFd;
};

}  // namespace tovalen
