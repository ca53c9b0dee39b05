#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/trace.h"

namespace tovalen::testing {

// Collects every trace piece written while it lives.
class TraceCapture {
 public:
  TraceCapture();

  const std::vector<std::string>& Pieces() const { return *m_pieces; }
  std::string Text() const;
  void Clear() { m_pieces->clear(); }

 private:
  std::shared_ptr<std::vector<std::string>> m_pieces;
  ScopedTraceSink m_sink;
};

}  // namespace tovalen::testing
