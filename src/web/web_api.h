#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/latest_picture.h"
#include "platform/posix_file.h"
#include "web/allowed_folders.h"
#include "web/live_state.h"
#include "web/schedule_editor.h"
#include "web/sessions.h"

namespace tovalen::web {

// One HTTP request as the server hands it over, its path already decoded.
struct Request {
  std::string method;
  std::string path;
  std::optional<std::string> cookie;
  std::optional<std::string> csrfToken;  // X-CSRF-Token
  std::optional<std::string> range;
  std::string body;
  std::string clientAddress;
  bool secure = false;  // over HTTPS
};

// The part of an open file a response sends.
struct FilePart {
  std::shared_ptr<FileDescriptor> fd;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct Response {
  int status = 200;
  std::string contentType = "application/json; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  std::optional<FilePart> file;  // sent instead of body
};

struct WebApiSetup {
  const ScheduleEditor& editor;
  const AllowedFolders& folders;
  const LiveState& live;
  std::shared_ptr<LatestPicture> picture;      // none: no still picture
  std::optional<std::string> passwordHash;     // none: no login is needed
  std::optional<std::filesystem::path> pages;  // none: only the API
};

inline constexpr const char* kCsrfHeader = "X-CSRF-Token";
inline constexpr const char* kSessionCookie = "tovalen_session";

// The web interface's answers: routes, sessions, login and CSRF checks. Any thread; it never
// throws (a refusal, or a fault of its own, is an answer with an error status).
class WebApi {
 public:
  explicit WebApi(WebApiSetup setup) : m_setup(std::move(setup)) {}

  Response Handle(const Request& request);

 private:
  Response Route(const Request& request);
  Response Api(const Request& request, const std::string& route);
  Response SessionInfo(const Request& request);
  Response Login(const Request& request, const Session& session);
  Response Logout(const Session& session);
  Response Reservations(const Request& request);
  Response OneReservation(const Request& request, const std::string& startText);
  Response Status() const;
  Response Still() const;
  Response Recordings() const;
  Response Download(const Request& request, const std::string& startText) const;
  Response Page(const Request& request) const;
  std::optional<Session> SessionOf(const Request& request);
  std::string CookieFor(const Session& session, const Request& request) const;

  WebApiSetup m_setup;
  SessionStore m_sessions;
  LoginThrottle m_throttle;
};

// The JSON of a reservation with its state (see docs/web-api.md).
// The playing length of an AVI file as its main header gives it; 0 when it cannot be read.
std::int64_t RecordedLengthSeconds(const std::string& path);

nlohmann::json ReservationJson(const SYoyaku& yoyaku, const LiveSnapshot& live, std::int64_t now);

}  // namespace tovalen::web
