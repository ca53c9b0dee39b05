#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "web/web_api.h"

struct MHD_Daemon;

namespace tovalen::web {

// Where to listen: a numeric IPv4 or IPv6 address and a port (0: any free port).
struct ListenAddress {
  std::string host;
  std::uint16_t port = 0;
};

// "127.0.0.1:8080", "[::1]:8080"; nothing for anything else.
std::optional<ListenAddress> ParseListenAddress(const std::string& text);
// 127.0.0.1 or ::1: the only addresses served without a password.
bool IsLoopback(const ListenAddress& address);

struct Tls {
  std::string certificate;  // PEM
  std::string key;          // PEM
};

// The limits that keep one client from taking the server.
struct ServerLimits {
  std::size_t maxBody = 64 * 1024;
  unsigned connections = 200;
  unsigned connectionsPerAddress = 100;
  unsigned idleSeconds = 15;
  unsigned threads = 4;
};

// The HTTP server: libmicrohttpd's threads hand each whole request to the WebApi.
class HttpServer {
 public:
  // Listens at once; throws std::runtime_error when it cannot.
  HttpServer(WebApi& api, const ListenAddress& address, std::optional<Tls> tls, ServerLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  std::uint16_t Port() const;

  struct Context;  // what the server's callbacks work with

 private:
  std::unique_ptr<Context> m_context;
  MHD_Daemon* m_daemon = nullptr;
};

}  // namespace tovalen::web
