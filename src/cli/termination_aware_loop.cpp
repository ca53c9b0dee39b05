#include "cli/termination_aware_loop.h"

namespace tovalen::cli {

AbortInput TerminationAwareLoop::TakeAbortInput() {
  const AbortInput input = m_inner->TakeAbortInput();
  if (input == AbortInput::kTerminationSignal) m_terminated = true;
  return input;
}

bool TerminationAwareLoop::TerminationRequested() {
  TakeAbortInput();
  return m_terminated;
}

}  // namespace tovalen::cli
