#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/main_loop.h"

namespace tovalen {

// The capture's main-loop seam on wx: while a capture runs on the user-interface thread, the
// windows keep repainting and resizing, the Escape key and mouse clicks become abort inputs,
// and every other input is dropped, so nothing the user did to stop the capture also presses a
// button once it has returned.
class WxMainLoop : public MainLoop {
 public:
  void PumpAndWait(std::chrono::milliseconds timeout) override;
  void Wake() override;
  AbortInput TakeAbortInput() override;
  // Ends the running capture as this input does (a close of the main window, a termination
  // signal). User-interface thread only.
  void RequestAbort(AbortInput input) { m_abort = input; }

 private:
  class InputCatcher;

  std::mutex m_mutex;
  std::condition_variable m_woken;
  bool m_wakeRequested = false;            // guarded by m_mutex
  AbortInput m_abort = AbortInput::kNone;  // user-interface thread only
};

}  // namespace tovalen
