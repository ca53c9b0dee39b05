#include "platform/trace.h"

#include <unistd.h>

#include <mutex>

#include "platform/posix_file.h"

namespace tovalen {
namespace {

// Capture worker threads may trace too, so the sink is guarded.
std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

TraceSink& CurrentSink() {
  static TraceSink sink = WriteTraceToStderr;
  return sink;
}

}  // namespace

void WriteTraceToStderr(std::string_view piece) {
  // Nowhere is left to report a failing trace channel.
  WriteAll(STDERR_FILENO, piece.data(), piece.size());
}

void Trace(std::string_view piece) {
  std::lock_guard lock(SinkMutex());
  if (CurrentSink()) CurrentSink()(piece);
}

TraceSink SetTraceSink(TraceSink sink) {
  std::lock_guard lock(SinkMutex());
  TraceSink previous = std::move(CurrentSink());
  CurrentSink() = std::move(sink);
  return previous;
}

}  // namespace tovalen
