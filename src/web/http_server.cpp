#include "web/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tovalen::web {

struct HttpServer::Context {
  WebApi& api;
  ServerLimits limits;
  bool secure;
};

namespace {

// What one request has brought so far.
struct Upload {
  std::string body;
  bool tooLarge = false;
};

std::optional<std::string> Header(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string ClientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr) return {};
  char text[INET6_ADDRSTRLEN] = {};
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  }
  return text;
}

MHD_Response* MakeResponse(const Response& answer) {
  if (!answer.file) {
    return MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                           MHD_RESPMEM_MUST_COPY);
  }
  // The server closes the descriptor it is given; the answer keeps its own.
  const int fd = ::dup(answer.file->fd->get());
  if (fd < 0) return nullptr;
  MHD_Response* response = MHD_create_response_from_fd_at_offset64(answer.file->length, fd, answer.file->offset);
  if (!response) ::close(fd);
  return response;
}

MHD_Result Send(MHD_Connection* connection, const Response& answer) {
  MHD_Response* response = MakeResponse(answer);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  MHD_add_response_header(response, "X-Frame-Options", "DENY");
  MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
  MHD_add_response_header(response, "Content-Security-Policy",
                          "default-src 'self'; img-src 'self' data:; object-src 'none'; frame-ancestors 'none'");
  for (const auto& [name, value] : answer.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
  MHD_destroy_response(response);
  return queued;
}

Response TooLarge() {
  Response response;
  response.status = 413;
  response.body = R"({"error":"リクエストの本文が大きすぎます（64 KiB まで）。"})";
  response.headers.emplace_back("Connection", "close");
  return response;
}

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char* uploadData, size_t* uploadSize, void** state) {
  auto& context = *static_cast<HttpServer::Context*>(cls);
  auto* upload = static_cast<Upload*>(*state);
  if (!upload) {
    upload = new Upload;  // freed by Completed, which the server calls for every request
    *state = upload;
    // A declared length over the limit is refused before anything of it is read.
    if (const auto length = Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
      std::uint64_t declared = 0;
      const auto [end, error] = std::from_chars(length->data(), length->data() + length->size(), declared);
      if (error != std::errc() || declared > context.limits.maxBody) upload->tooLarge = true;
    }
    if (!upload->tooLarge) return MHD_YES;
  }
  if (*uploadSize != 0) {
    if (upload->body.size() + *uploadSize > context.limits.maxBody) upload->tooLarge = true;
    if (!upload->tooLarge) upload->body.append(uploadData, *uploadSize);
    *uploadSize = 0;
    if (!upload->tooLarge) return MHD_YES;
  }
  if (upload->tooLarge) return Send(connection, TooLarge());
  Request request;
  request.method = method;
  request.path = url;
  request.cookie = Header(connection, MHD_HTTP_HEADER_COOKIE);
  request.csrfToken = Header(connection, kCsrfHeader);
  request.range = Header(connection, MHD_HTTP_HEADER_RANGE);
  request.body = std::move(upload->body);
  request.clientAddress = ClientAddress(connection);
  request.secure = context.secure;
  return Send(connection, context.api.Handle(request));
}

void Completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
  delete static_cast<Upload*>(*state);
  *state = nullptr;
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size()) return std::nullopt;
  std::string host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  unsigned port = 0;
  const char* first = text.data() + colon + 1;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, port);
  if (error != std::errc() || end != last || port > 65535) return std::nullopt;
  in6_addr address6{};
  in_addr address4{};
  const bool v6 = host.find(':') != std::string::npos && text.front() == '[';
  if (v6 ? ::inet_pton(AF_INET6, host.c_str(), &address6) != 1 : ::inet_pton(AF_INET, host.c_str(), &address4) != 1) {
    return std::nullopt;
  }
  return ListenAddress{host, static_cast<std::uint16_t>(port)};
}

bool IsLoopback(const ListenAddress& address) { return address.host == "127.0.0.1" || address.host == "::1"; }

HttpServer::HttpServer(WebApi& api, const ListenAddress& address, std::optional<Tls> tls, ServerLimits limits)
    : m_context(std::make_unique<Context>(Context{api, limits, tls.has_value()})) {
  sockaddr_storage storage{};
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
  if (address.host.find(':') != std::string::npos) {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(address.port);
    ::inet_pton(AF_INET6, address.host.c_str(), &v6.sin6_addr);
    flags |= MHD_USE_IPv6;
  } else {
    auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(address.port);
    ::inet_pton(AF_INET, address.host.c_str(), &v4.sin_addr);
  }
  if (tls) flags |= MHD_USE_TLS;
  std::vector<MHD_OptionItem> options{
      {MHD_OPTION_SOCK_ADDR, 0, &storage},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Completed), nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, limits.connections, nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connectionsPerAddress, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, limits.idleSeconds, nullptr},
      {MHD_OPTION_THREAD_POOL_SIZE, limits.threads, nullptr},
  };
  if (tls) {
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(tls->key.c_str())});
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(tls->certificate.c_str())});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  m_daemon = MHD_start_daemon(flags, address.port, nullptr, nullptr, &Answer, m_context.get(), MHD_OPTION_ARRAY,
                              options.data(), MHD_OPTION_END);
  if (!m_daemon) {
    throw std::runtime_error("cannot listen on " + address.host + ":" + std::to_string(address.port) +
                             (tls ? " (or the certificate and key cannot be used)" : ""));
  }
}

HttpServer::~HttpServer() { MHD_stop_daemon(m_daemon); }

std::uint16_t HttpServer::Port() const {
  const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
  return info ? info->port : 0;
}

}  // namespace tovalen::web
