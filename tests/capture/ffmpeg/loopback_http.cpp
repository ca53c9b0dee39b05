#include "loopback_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tovalen::testing {
namespace {

constexpr int kPollMs = 50;

bool Readable(int fd, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, timeoutMs) == 1;
}

// The request's path, read within a few seconds; empty when none came.
std::string RequestedPath(int connection) {
  std::string request;
  char buffer[1024];
  for (int tries = 0; tries < 100 && request.find("\r\n\r\n") == std::string::npos; ++tries) {
    if (!Readable(connection, kPollMs)) continue;
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0 || request.size() > 16384) return {};
    request.append(buffer, static_cast<std::size_t>(got));
  }
  std::istringstream line(request);
  std::string method, path;
  line >> method >> path;
  return method == "GET" ? path : std::string{};
}

void SendAll(int connection, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t wrote = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (wrote <= 0) return;
    sent += static_cast<std::size_t>(wrote);
  }
}

}  // namespace

LoopbackHttp::LoopbackHttp(std::filesystem::path folder, Mode mode) : m_folder(std::move(folder)), m_mode(mode) {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 16) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  m_port = ntohs(address.sin_port);
  m_thread = std::jthread([this](std::stop_token stop) { Serve(stop); });
}

LoopbackHttp::~LoopbackHttp() {
  m_thread.request_stop();
  m_thread.join();
  for (int connection : m_held) ::close(connection);
  ::close(m_listener);
}

std::string LoopbackHttp::Url(const std::string& name, const std::string& userInfo) const {
  return "http://" + (userInfo.empty() ? "" : userInfo + "@") + "127.0.0.1:" + std::to_string(m_port) + "/" + name;
}

void LoopbackHttp::Serve(const std::stop_token& stop) {
  while (!stop.stop_requested()) {
    if (!Readable(m_listener, kPollMs)) continue;
    const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    if (m_mode == Mode::kSilent) {
      m_held.push_back(connection);
      continue;
    }
    Answer(connection);
    ::close(connection);
  }
}

void LoopbackHttp::Answer(int connection) const {
  const std::string path = RequestedPath(connection);
  const std::string name = path.substr(path.find_first_not_of('/') == std::string::npos ? path.size() : 1);
  std::ifstream file(m_folder / name, std::ios::binary);
  if (name.empty() || name.find("..") != std::string::npos || !file) {
    SendAll(connection, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }
  const std::string body{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  SendAll(connection,
          "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace tovalen::testing
