#include "app/termination_watch.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tovalen {

struct TerminationWatchSource {
  static gboolean Readable(gint, GIOCondition, gpointer data) {
    static_cast<TerminationWatch*>(data)->OnReadable();
    return G_SOURCE_CONTINUE;
  }
};

TerminationWatch::TerminationWatch(std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
  m_readFd = fds[0];
  m_writeFd = fds[1];
  m_source = g_unix_fd_add(m_readFd, G_IO_IN, &TerminationWatchSource::Readable, this);
  m_signals = std::make_unique<ScopedTerminationSignals>(m_writeFd);
}

TerminationWatch::~TerminationWatch() {
  m_signals.reset();
  g_source_remove(m_source);
  ::close(m_readFd);
  ::close(m_writeFd);
}

void TerminationWatch::OnReadable() {
  char buffer[64];
  while (::read(m_readFd, buffer, sizeof buffer) > 0) {
  }
  if (TakeTerminationSignal()) m_onSignal();
}

}  // namespace tovalen
