#include "platform/plain_main_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tovalen {
namespace {

void Drain(int fd) {
  char buffer[64];
  while (::read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

PlainMainLoop::PlainMainLoop() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
  m_readFd = FileDescriptor(fds[0]);
  m_writeFd = FileDescriptor(fds[1]);
}

void PlainMainLoop::PumpAndWait(std::chrono::milliseconds timeout) {
  pollfd entry{m_readFd.get(), POLLIN, 0};
  const int ms = timeout.count() < 0 ? 0 : static_cast<int>(timeout.count());
  if (::poll(&entry, 1, ms) > 0) Drain(m_readFd.get());
}

void PlainMainLoop::Wake() {
  const char byte = 'w';
  // A full pipe already holds a wake-up; nothing is lost when this write fails.
  [[maybe_unused]] const ssize_t ignored = ::write(m_writeFd.get(), &byte, 1);
}

AbortInput PlainMainLoop::TakeAbortInput() {
  return TakeTerminationSignal() ? AbortInput::kTerminationSignal : AbortInput::kNone;
}

}  // namespace tovalen
