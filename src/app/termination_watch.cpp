#include "app/termination_watch.h"

#include <glib-unix.h>

#include <chrono>

namespace tovalen {

struct TerminationWatchSource {
  static gboolean Readable(gint, GIOCondition, gpointer data) {
    static_cast<TerminationWatch*>(data)->OnReadable();
    return G_SOURCE_CONTINUE;
  }
};

TerminationWatch::TerminationWatch(std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
  m_source = g_unix_fd_add(m_wakeUp.WakeFd(), G_IO_IN, &TerminationWatchSource::Readable, this);
}

TerminationWatch::~TerminationWatch() { g_source_remove(m_source); }

void TerminationWatch::OnReadable() {
  m_wakeUp.PumpAndWait(std::chrono::milliseconds(0));  // empties the pipe
  if (m_wakeUp.TakeAbortInput() == AbortInput::kTerminationSignal) m_onSignal();
}

}  // namespace tovalen
