#pragma once

#include <functional>
#include <string_view>

namespace tovalen {

// Receives each trace piece exactly as written; pieces are not joined into lines.
using TraceSink = std::function<void(std::string_view piece)>;

// Writes one piece to the trace channel (standard error, unbuffered, unless replaced).
void Trace(std::string_view piece);

// Replaces the sink and returns the previous one. An empty sink discards traces.
TraceSink SetTraceSink(TraceSink sink);

// The default sink: writes the piece to standard error at once.
void WriteTraceToStderr(std::string_view piece);

// Swaps the sink for the lifetime of the object (tests, the CLI's quiet mode).
class ScopedTraceSink {
 public:
  explicit ScopedTraceSink(TraceSink sink) : m_previous(SetTraceSink(std::move(sink))) {}
  ~ScopedTraceSink() { SetTraceSink(std::move(m_previous)); }
  ScopedTraceSink(const ScopedTraceSink&) = delete;
  ScopedTraceSink& operator=(const ScopedTraceSink&) = delete;

 private:
  TraceSink m_previous;
};

}  // namespace tovalen
