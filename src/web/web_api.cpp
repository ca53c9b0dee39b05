#include "web/web_api.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "platform/trace.h"
#include "web/api_error.h"
#include "web/http_range.h"
#include "web/password_file.h"
#include "web/static_assets.h"
#include "web/web_time.h"

namespace tovalen::web {
namespace {

using nlohmann::json;

constexpr std::string_view kApi = "/api/";
constexpr std::string_view kReservations = "reservations";
constexpr std::string_view kRecordings = "recordings/";
constexpr std::string_view kFileSuffix = "/file";

Response JsonAnswer(int status, const json& body) {
  Response response;
  response.status = status;
  response.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

Response ErrorAnswer(int status, const std::string& message) { return JsonAnswer(status, {{"error", message}}); }

json ParseBody(const std::string& body) {
  json parsed = json::parse(body, nullptr, false);
  if (parsed.is_discarded()) throw ApiError(400, "リクエストの本文が JSON として読めません。");
  return parsed;
}

// Anything but a read: a method the API does not serve is refused as a change would be.
bool IsChange(const std::string& method) { return method != "GET" && method != "HEAD"; }

std::optional<std::string> CookieValue(const std::optional<std::string>& header, std::string_view name) {
  if (!header) return std::nullopt;
  std::string_view rest = *header;
  while (!rest.empty()) {
    const std::size_t semicolon = std::min(rest.find(';'), rest.size());
    std::string_view pair = rest.substr(0, semicolon);
    rest.remove_prefix(std::min(semicolon + 1, rest.size()));
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=') {
      return std::string(pair.substr(name.size() + 1));
    }
  }
  return std::nullopt;
}

std::int64_t StartFromPath(const std::string& text) {
  const auto start = ParseWebTime(text);
  if (!start) throw ApiError(404, "その開始時刻の予約はありません。");
  return *start;
}

const char* StateName(RunnerState state) {
  switch (state) {
    case RunnerState::kIdle:
      return "idle";
    case RunnerState::kNothingToDo:
      return "nothing";
    case RunnerState::kWaiting:
      return "waiting";
    case RunnerState::kStarting:
      return "starting";
    case RunnerState::kRecording:
      return "recording";
    case RunnerState::kError:
      return "error";
    case RunnerState::kFinished:
      return "finished";
  }
  return "idle";
}

// The file a reservation of the schedule recorded into, if any: the one this server recorded,
// else the reservation's own target.
std::optional<std::pair<std::string, std::string>> RecordedFile(std::int64_t start, const LiveSnapshot& live,
                                                                const std::vector<SYoyaku>& reservations) {
  if (live.current && live.current->start == start) return std::nullopt;
  std::string title;
  std::optional<std::string> file;
  for (const SYoyaku& yoyaku : reservations) {
    if (yoyaku.timeStart != start) continue;
    title = yoyaku.strTitle;
    file = yoyaku.strFileName;
  }
  if (const auto done = live.finished.find(start); done != live.finished.end()) {
    if (done->second.failed && !file) return std::nullopt;
    if (!done->second.failed) file = done->second.file;
  }
  if (!file) return std::nullopt;
  return std::pair{*file, title};
}

std::string PercentEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || c == '.' ||
        c == '-' || c == '_') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

}  // namespace

Response WebApi::Handle(const Request& request) {
  try {
    return Route(request);
  } catch (const ApiError& error) {
    return ErrorAnswer(error.Status(), error.what());
  } catch (const std::exception& error) {
    Trace(std::string("E: web: ") + error.what() + "\n");
    return ErrorAnswer(500, "サーバーで問題が起きました。");
  }
}

std::optional<Session> WebApi::SessionOf(const Request& request) {
  const auto id = CookieValue(request.cookie, kSessionCookie);
  return id ? m_sessions.Find(*id) : std::nullopt;
}

std::string WebApi::CookieFor(const Session& session, const Request& request) const {
  return std::string(kSessionCookie) + "=" + session.id + "; HttpOnly; SameSite=Strict; Path=/" +
         (request.secure ? "; Secure" : "");
}

Response WebApi::Route(const Request& request) {
  if (!request.path.starts_with(kApi)) return Page(request);
  const std::string route = request.path.substr(kApi.size());
  if (route == "session" && request.method == "GET") return SessionInfo(request);

  const auto session = SessionOf(request);
  if (IsChange(request.method)) {
    // Refused whatever the cookie: a page elsewhere can send the cookie but cannot read the token.
    if (!session || !request.csrfToken || !TokensEqual(*request.csrfToken, session->csrfToken)) {
      throw ApiError(403, "CSRF トークンがないか、正しくありません。ページを読み込み直してください。");
    }
  }
  if (route == "login" && request.method == "POST") return Login(request, *session);
  if (m_setup.passwordHash && !(session && session->loggedIn)) throw ApiError(401, "ログインしてください。");
  if (route == "logout" && request.method == "POST") return Logout(*session);
  return Api(request, route);
}

Response WebApi::Api(const Request& request, const std::string& route) {
  const std::string& method = request.method;
  const bool read = method == "GET" || method == "HEAD";
  if (route == kReservations) {
    if (read || method == "POST") return Reservations(request);
  } else if (route.starts_with(std::string(kReservations) + "/")) {
    if (method == "PATCH" || method == "DELETE") return OneReservation(request, route.substr(kReservations.size() + 1));
  } else if (route == "status") {
    if (read) return Status();
  } else if (route == "still.jpg") {
    if (read) return Still();
  } else if (route == "recordings") {
    if (read) return Recordings();
  } else if (route.starts_with(kRecordings) && route.ends_with(kFileSuffix) &&
             route.size() > kRecordings.size() + kFileSuffix.size()) {
    const std::string start = route.substr(kRecordings.size(), route.size() - kRecordings.size() - kFileSuffix.size());
    if (read) return Download(request, start);
  } else {
    throw ApiError(404, "そのような API はありません。");
  }
  throw ApiError(405, "その操作はこの API では使えません。");
}

Response WebApi::SessionInfo(const Request& request) {
  const bool loginRequired = m_setup.passwordHash.has_value();
  std::optional<Session> session = SessionOf(request);
  const bool fresh = !session;
  if (fresh) session = m_sessions.Create(!loginRequired);
  Response response = JsonAnswer(
      200, {{"csrfToken", session->csrfToken}, {"loginRequired", loginRequired}, {"loggedIn", session->loggedIn}});
  if (fresh) response.headers.emplace_back("Set-Cookie", CookieFor(*session, request));
  return response;
}

Response WebApi::Login(const Request& request, const Session& session) {
  if (const auto wait = m_throttle.WaitFor(request.clientAddress)) {
    Response response = ErrorAnswer(
        429, "パスワードを続けて間違えました。" + std::to_string(wait->count()) + " 秒待ってからやり直してください。");
    response.headers.emplace_back("Retry-After", std::to_string(wait->count()));
    return response;
  }
  const json body = ParseBody(request.body);
  const auto password = body.is_object() ? body.find("password") : body.end();
  if (password == body.end() || !password->is_string()) throw ApiError(400, "「password」が必要です。");
  if (!m_setup.passwordHash || !VerifyPassword(*m_setup.passwordHash, password->get<std::string>())) {
    if (m_setup.passwordHash) m_throttle.Failed(request.clientAddress);
    throw ApiError(401, m_setup.passwordHash ? "パスワードが違います。" : "このサーバーにはパスワードがありません。");
  }
  m_throttle.Succeeded(request.clientAddress);
  // A new session id after the login, so that one planted before it is worth nothing.
  m_sessions.End(session.id);
  const Session loggedIn = m_sessions.Create(true);
  Response response = JsonAnswer(200, {{"loggedIn", true}, {"csrfToken", loggedIn.csrfToken}});
  response.headers.emplace_back("Set-Cookie", CookieFor(loggedIn, request));
  return response;
}

Response WebApi::Logout(const Session& session) {
  m_sessions.End(session.id);
  Response response = JsonAnswer(200, {{"loggedIn", false}});
  response.headers.emplace_back("Set-Cookie",
                                std::string(kSessionCookie) + "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0");
  return response;
}

Response WebApi::Reservations(const Request& request) {
  if (request.method == "POST") {
    std::string warning;
    const std::vector<SYoyaku> added = m_setup.editor.Add(ParseBody(request.body), &warning);
    const LiveSnapshot live = m_setup.live.Snapshot();
    json list = json::array();
    for (const SYoyaku& yoyaku : added) list.push_back(ReservationJson(yoyaku, live, Clock::Now()));
    json answer{{"reservations", list}};
    if (!warning.empty()) answer["warning"] = warning;
    return JsonAnswer(201, answer);
  }
  const ScheduleFileContents contents = m_setup.editor.Read();
  const LiveSnapshot live = m_setup.live.Snapshot();
  const std::int64_t now = Clock::Now();
  json list = json::array();
  for (const SYoyaku& yoyaku : contents.reservations) list.push_back(ReservationJson(yoyaku, live, now));
  return JsonAnswer(200, {{"reservations", list}});
}

Response WebApi::OneReservation(const Request& request, const std::string& startText) {
  const std::int64_t start = StartFromPath(startText);
  if (request.method == "DELETE") {
    m_setup.editor.Remove(start);
    return JsonAnswer(200, {{"removed", FormatWebTime(start)}});
  }
  const LiveSnapshot before = m_setup.live.Snapshot();
  if (before.current && before.current->start == start) throw ApiError(409, "録画中の予約は変更できません。");
  std::string warning;
  const SYoyaku changed = m_setup.editor.Change(start, ParseBody(request.body), &warning);
  json answer{{"reservation", ReservationJson(changed, m_setup.live.Snapshot(), Clock::Now())}};
  if (!warning.empty()) answer["warning"] = warning;
  return JsonAnswer(200, answer);
}

Response WebApi::Status() const {
  const LiveSnapshot live = m_setup.live.Snapshot();
  json recording = nullptr;
  if (live.current) {
    SYoyaku under;
    under.timeStart = static_cast<Time32>(live.current->start);
    under.spanDuration = live.display.recordSeconds;
    under.strFileName = live.current->file;
    for (const SYoyaku& yoyaku : m_setup.editor.Read().reservations) {
      if (yoyaku.timeStart == under.timeStart) under = yoyaku;
    }
    recording = ReservationJson(under, live, Clock::Now());
  }
  const auto picture = m_setup.picture ? m_setup.picture->Get() : nullptr;
  return JsonAnswer(200, {{"now", FormatWebTime(Clock::Now())},
                          {"state", StateName(live.display.state)},
                          {"activity", live.display.activity},
                          {"next", live.display.nextReservation},
                          {"failure", live.display.failure},
                          {"device", live.device},
                          {"recording", recording},
                          {"recorded", live.recorded},
                          {"failed", live.failed},
                          {"still", live.current.has_value() && picture != nullptr},
                          {"allowed", m_setup.folders.Folders()}});
}

Response WebApi::Still() const {
  const auto picture = m_setup.picture ? m_setup.picture->Get() : nullptr;
  if (!picture || !m_setup.live.Snapshot().current) {
    throw ApiError(404, "静止画はありません（MJPEG で録画中のときだけ表示できます）。");
  }
  Response response;
  response.contentType = "image/jpeg";
  response.body = *picture;
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

Response WebApi::Recordings() const {
  const ScheduleFileContents contents = m_setup.editor.Read();
  const LiveSnapshot live = m_setup.live.Snapshot();
  std::vector<std::int64_t> starts;
  for (const SYoyaku& yoyaku : contents.reservations) starts.push_back(yoyaku.timeStart);
  for (const auto& [start, done] : live.finished) starts.push_back(start);
  std::sort(starts.begin(), starts.end(), std::greater<>());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  json list = json::array();
  for (const std::int64_t start : starts) {
    const auto recorded = RecordedFile(start, live, contents.reservations);
    if (!recorded || !m_setup.folders.Holds(recorded->first)) continue;
    struct stat info {};
    if (::stat(recorded->first.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const std::string startText = FormatWebTime(start);
    list.push_back({{"start", startText},
                    {"title", recorded->second},
                    {"file", recorded->first},
                    {"name", std::filesystem::path(recorded->first).filename().string()},
                    {"bytes", static_cast<std::uint64_t>(info.st_size)},
                    {"lengthSeconds", RecordedLengthSeconds(recorded->first)},
                    {"download", "/api/recordings/" + startText + "/file"}});
  }
  return JsonAnswer(200, {{"recordings", list}});
}

Response WebApi::Download(const Request& request, const std::string& startText) const {
  const std::int64_t start = StartFromPath(startText);
  const LiveSnapshot live = m_setup.live.Snapshot();
  if (live.current && live.current->start == start)
    throw ApiError(409, "録画中のファイルはまだダウンロードできません。");
  const auto recorded = RecordedFile(start, live, m_setup.editor.Read().reservations);
  if (!recorded) throw ApiError(404, "その開始時刻の録画はありません。");
  auto fd = std::make_shared<FileDescriptor>(m_setup.folders.OpenForDownload(recorded->first));
  struct stat info {};
  ::fstat(fd->get(), &info);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  const RangeRequest range = ParseRange(request.range, size);
  Response response;
  response.contentType = "video/x-msvideo";
  response.headers.emplace_back("Accept-Ranges", "bytes");
  response.headers.emplace_back(
      "Content-Disposition",
      "attachment; filename*=UTF-8''" + PercentEncode(std::filesystem::path(recorded->first).filename().string()));
  if (range.answer == RangeAnswer::kUnsatisfiable) {
    response = ErrorAnswer(416, "指定された範囲はファイルの外です。");
    response.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
    return response;
  }
  if (range.answer == RangeAnswer::kPart) {
    response.status = 206;
    response.headers.emplace_back("Content-Range", "bytes " + std::to_string(range.range.first) + "-" +
                                                       std::to_string(range.range.first + range.range.length - 1) +
                                                       "/" + std::to_string(size));
  }
  response.file = FilePart{fd, range.range.first, range.range.length};
  return response;
}

Response WebApi::Page(const Request& request) const {
  if (request.method != "GET" && request.method != "HEAD") throw ApiError(405, "ページには GET だけが使えます。");
  const auto asset = m_setup.pages ? AssetFor(*m_setup.pages, request.path) : std::nullopt;
  if (!asset) throw ApiError(404, "そのページはありません。");
  auto fd = std::make_shared<FileDescriptor>(::open(asset->path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat info {};
  if (fd->get() < 0 || ::fstat(fd->get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw ApiError(404, "そのページはありません。");
  }
  Response response;
  response.contentType = asset->contentType;
  response.headers.emplace_back("Cache-Control", "no-cache");
  response.file = FilePart{fd, 0, static_cast<std::uint64_t>(info.st_size)};
  return response;
}

}  // namespace tovalen::web
