#pragma once

#include <chrono>

namespace tovalen {

// An input that asks the running operation (a capture) to end.
enum class AbortInput {
  kNone,
  kEscapeKey,
  kLeftMouseButton,
  kRightMouseButton,
  kTerminationSignal,  // SIGINT, SIGTERM or SIGHUP
};

// What a long operation on the user-interface thread uses to keep that thread alive while it
// waits for workers: the GUI implements it on its event loop, the command-line program with
// PlainMainLoop.
class MainLoop {
 public:
  virtual ~MainLoop() = default;

  // Handles the user-interface events already pending, then waits until Wake is called or the
  // timeout has passed, whichever comes first.
  virtual void PumpAndWait(std::chrono::milliseconds timeout) = 0;
  // Ends the current wait early, or the next one if none is in progress. Safe from any thread.
  virtual void Wake() = 0;
  // The input that asked to end the running operation since the last call, or kNone. Each input
  // is reported once.
  virtual AbortInput TakeAbortInput() = 0;
  // Whether every abort input wakes a wait as Wake does. One that only hears its input while it
  // pumps (a window system's) has to be pumped often; one that wakes may wait long.
  virtual bool InputWakesIt() const { return false; }
};

}  // namespace tovalen
