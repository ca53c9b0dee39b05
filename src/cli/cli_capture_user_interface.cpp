#include "cli/cli_capture_user_interface.h"

namespace tovalen::cli {

std::string CliCaptureUserInterface::TakeMessages() {
  std::string joined;
  for (const std::string& message : m_messages) joined += (joined.empty() ? "" : "; ") + message;
  m_messages.clear();
  return joined;
}

}  // namespace tovalen::cli
