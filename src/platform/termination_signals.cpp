#include "platform/termination_signals.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>

#include "platform/plain_main_loop.h"

namespace tovalen {
namespace {

// Shared with the signal handler, which may only touch lock-free atomics and write().
std::atomic<int> g_signalWakeFd{-1};
std::atomic<bool> g_terminationRequested{false};
std::atomic<bool> g_watching{false};

void OnTerminationSignal(int) {
  const int savedErrno = errno;
  g_terminationRequested.store(true);
  const int fd = g_signalWakeFd.load();
  if (fd >= 0) {
    const char byte = 's';
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

ScopedTerminationSignals::ScopedTerminationSignals(int wakeFd) {
  if (g_watching.exchange(true)) throw std::logic_error("termination signals are watched already");
  g_terminationRequested.store(false);
  g_signalWakeFd.store(wakeFd);
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &m_previousInt);
  ::sigaction(SIGTERM, &action, &m_previousTerm);
  ::sigaction(SIGHUP, &action, &m_previousHup);
}

ScopedTerminationSignals::ScopedTerminationSignals(PlainMainLoop& loop)
    : ScopedTerminationSignals(loop.m_writeFd.get()) {}

ScopedTerminationSignals::~ScopedTerminationSignals() {
  ::sigaction(SIGINT, &m_previousInt, nullptr);
  ::sigaction(SIGTERM, &m_previousTerm, nullptr);
  ::sigaction(SIGHUP, &m_previousHup, nullptr);
  g_signalWakeFd.store(-1);
  g_watching.store(false);
}

bool TakeTerminationSignal() { return g_terminationRequested.exchange(false); }

}  // namespace tovalen
