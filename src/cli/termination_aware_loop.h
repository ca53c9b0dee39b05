#pragma once

#include <atomic>
#include <memory>

#include "platform/main_loop.h"

namespace tovalen::cli {

// Passes everything to another main loop and remembers a termination signal among the abort
// inputs, also one that a capture took to end itself: the run that started the capture then
// ends too.
class TerminationAwareLoop : public MainLoop {
 public:
  explicit TerminationAwareLoop(std::shared_ptr<MainLoop> inner) : m_inner(std::move(inner)) {}

  void PumpAndWait(std::chrono::milliseconds timeout) override { m_inner->PumpAndWait(timeout); }
  void Wake() override { m_inner->Wake(); }
  AbortInput TakeAbortInput() override;
  bool InputWakesIt() const override { return m_inner->InputWakesIt(); }

  // Takes a pending abort input, then tells whether a termination signal has arrived.
  bool TerminationRequested();

 private:
  std::shared_ptr<MainLoop> m_inner;
  std::atomic<bool> m_terminated{false};
};

}  // namespace tovalen::cli
