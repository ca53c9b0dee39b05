#pragma once

#include <functional>

#include "platform/plain_main_loop.h"
#include "platform/termination_signals.h"

namespace tovalen {

// SIGINT, SIGTERM and SIGHUP while the desktop program runs: instead of ending the process on
// the spot (a recording would stay under its scratch name, without an index), each one calls
// `onSignal` from the GLib main loop, also while a capture keeps that loop alive.
class TerminationWatch {
 public:
  explicit TerminationWatch(std::function<void()> onSignal);
  ~TerminationWatch();
  TerminationWatch(const TerminationWatch&) = delete;
  TerminationWatch& operator=(const TerminationWatch&) = delete;

 private:
  friend struct TerminationWatchSource;
  void OnReadable();

  std::function<void()> m_onSignal;
  PlainMainLoop m_wakeUp;  // the signal's wake-up pipe and its abort input
  ScopedTerminationSignals m_signals{m_wakeUp};
  unsigned m_source = 0;
};

}  // namespace tovalen
