#include "platform/trace.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>

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
  while (!piece.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, piece.data(), piece.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to report a failing trace channel
    }
    piece.remove_prefix(static_cast<std::size_t>(written));
  }
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
