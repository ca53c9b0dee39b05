#include "platform/plain_main_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>

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

void Drain(int fd) {
  char buffer[64];
  while (::read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

PlainMainLoop::PlainMainLoop() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
  m_readFd = fds[0];
  m_writeFd = fds[1];
}

PlainMainLoop::~PlainMainLoop() {
  ::close(m_readFd);
  ::close(m_writeFd);
}

void PlainMainLoop::PumpAndWait(std::chrono::milliseconds timeout) {
  pollfd entry{m_readFd, POLLIN, 0};
  const int ms = timeout.count() < 0 ? 0 : static_cast<int>(timeout.count());
  if (::poll(&entry, 1, ms) > 0) Drain(m_readFd);
}

void PlainMainLoop::Wake() {
  const char byte = 'w';
  // A full pipe already holds a wake-up; nothing is lost when this write fails.
  [[maybe_unused]] const ssize_t ignored = ::write(m_writeFd, &byte, 1);
}

AbortInput PlainMainLoop::TakeAbortInput() {
  return g_terminationRequested.exchange(false) ? AbortInput::kTerminationSignal : AbortInput::kNone;
}

ScopedTerminationSignals::ScopedTerminationSignals(PlainMainLoop& loop) {
  if (g_watching.exchange(true)) throw std::logic_error("termination signals are watched already");
  g_terminationRequested.store(false);
  g_signalWakeFd.store(loop.m_writeFd);
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &m_previousInt);
  ::sigaction(SIGTERM, &action, &m_previousTerm);
}

ScopedTerminationSignals::~ScopedTerminationSignals() {
  ::sigaction(SIGINT, &m_previousInt, nullptr);
  ::sigaction(SIGTERM, &m_previousTerm, nullptr);
  g_signalWakeFd.store(-1);
  g_watching.store(false);
}

}  // namespace tovalen
