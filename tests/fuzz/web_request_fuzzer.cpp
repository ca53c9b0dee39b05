// Any request may reach the web API: each must get an answer with a status the API gives, and
// none may write outside the allowed folder or change the schedule without its CSRF token.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_schedule.h"
#include "web/web_api.h"

namespace {

using namespace tovalen;

std::filesystem::path MakeFolder() {
  const auto folder = std::filesystem::temp_directory_path() / ("tovalen-web-fuzz-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / "videos");
  SaveScheduleFile((folder / "s.yyk").string(), SCaptureSettings(), CYoyakuSchedule());
  return folder;
}

struct Fixture {
  ~Fixture() { std::filesystem::remove_all(folder); }
  std::filesystem::path folder = MakeFolder();
  std::string schedule = (folder / "s.yyk").string();
  web::AllowedFolders folders{{(folder / "videos").string()}};
  web::ScheduleEditor editor{schedule, folders};
  web::LiveState live;
  web::WebApi api{{editor, folders, live, nullptr, std::nullopt, std::nullopt}};
  web::Response session = api.Handle({"GET", "/api/session", {}, {}, {}, {}, "127.0.0.1", false});
  // "tovalen_session=ID; HttpOnly..." as the browser sends it back, and the session's token.
  std::string cookie = session.headers.back().second.substr(0, session.headers.back().second.find(';'));
  std::string token = nlohmann::json::parse(session.body)["csrfToken"];
};

// Splits the input into method, path, range and body at the first three newlines.
std::string_view Take(std::string_view& rest) {
  const std::size_t end = std::min(rest.find('\n'), rest.size());
  const std::string_view field = rest.substr(0, end);
  rest.remove_prefix(std::min(end + 1, rest.size()));
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  web::Request request;
  request.method = std::string(Take(rest));
  request.path = "/api/" + std::string(Take(rest));
  const std::string_view range = Take(rest);
  if (!range.empty()) request.range = std::string(range);
  request.body = std::string(rest);
  request.clientAddress = "127.0.0.1";
  // Every other input carries the session and its token, so changes get as far as the checks.
  if (size % 2 == 0) {
    request.cookie = fixture.cookie;
    request.csrfToken = fixture.token;
  }
  const std::string before = ReadWholeFile(fixture.schedule);
  const web::Response response = fixture.api.Handle(request);
  if (response.status < 200 || response.status > 503 || response.status == 500) {
    std::fprintf(stderr, "status %d: %s\n", response.status, response.body.c_str());
    std::abort();
  }
  if (!request.csrfToken && ReadWholeFile(fixture.schedule) != before) {
    std::fprintf(stderr, "a request without its token changed the schedule\n");
    std::abort();
  }
  for (const auto& entry : std::filesystem::directory_iterator(fixture.folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "videos" && name != "s.yyk") {
      std::fprintf(stderr, "something was written outside the allowed folder: %s\n", name.c_str());
      std::abort();
    }
  }
  // Keeps the schedule small, so each input is judged on its own.
  if (ReadWholeFile(fixture.schedule) != before)
    SaveScheduleFile(fixture.schedule, SCaptureSettings(), CYoyakuSchedule());
  return 0;
}
