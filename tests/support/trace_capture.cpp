#include "support/trace_capture.h"

namespace tovalen::testing {

TraceCapture::TraceCapture()
    : m_pieces(std::make_shared<std::vector<std::string>>()),
      m_sink([pieces = m_pieces](std::string_view piece) { pieces->emplace_back(piece); }) {}

std::string TraceCapture::Text() const {
  std::string text;
  for (const auto& piece : *m_pieces) text += piece;
  return text;
}

}  // namespace tovalen::testing
