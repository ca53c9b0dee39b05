#include <curl/curl.h>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "cli_test_support.h"
#include "platform/clock.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_schedule.h"
#include "support/spawn.h"
#include "support/temp_dir.h"
#include "web/web_time.h"

namespace tovalen::testing {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

struct Reply {
  long status = 0;
  std::string body;
  std::string headers;
  json Json() const { return json::parse(body, nullptr, false); }
};

// A libcurl client with its own cookies, as one browser.
class Client {
 public:
  explicit Client(std::string base) : m_base(std::move(base)), m_curl(curl_easy_init(), &curl_easy_cleanup) {
    curl_easy_setopt(m_curl.get(), CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(m_curl.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(m_curl.get(), CURLOPT_NOPROXY, "*");
  }

  Reply Call(const std::string& method, const std::string& path, const std::optional<std::string>& body = {},
             const std::vector<std::string>& headers = {}) {
    CURL* curl = m_curl.get();
    Reply reply;
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> list(nullptr, &curl_slist_free_all);
    for (const std::string& header : headers) list.reset(curl_slist_append(list.release(), header.c_str()));
    if (m_token && method != "GET") {
      list.reset(curl_slist_append(list.release(), ("X-CSRF-Token: " + *m_token).c_str()));
    }
    curl_easy_setopt(curl, CURLOPT_URL, (m_base + path).c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, method == "HEAD" ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    if (body) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->c_str());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    return reply;
  }
  // Starts a session and keeps its CSRF token for every change.
  json StartSession() {
    const json session = Call("GET", "/api/session").Json();
    if (session.contains("csrfToken")) m_token = session["csrfToken"];
    return session;
  }
  void SetToken(std::optional<std::string> token) { m_token = std::move(token); }

 private:
  static size_t Append(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
  }

  std::string m_base;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> m_curl;
  std::optional<std::string> m_token;
};

// tovalen-rec serve on the test-pattern device, listening on a free port of 127.0.0.1, its
// recordings confined to videos/.
class Serve : public ::testing::Test {
 protected:
  Serve() {
    ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
    std::filesystem::create_directories(videos);
    const std::string index = TestPatternIndex();
    settings.iCapDriverId = std::stoi(index);
    EXPECT_EQ(RunCli({"device", index, "--size", "160x120"}).status, 0);
  }
  ~Serve() override {
    if (m_child > 0) Stop();
  }

  void Save() { SaveScheduleFile(file, settings, schedule); }
  // Starts the server and waits (30 s at most) until it listens; the base URL.
  std::string Start(const std::vector<std::string>& prefix = {}) {
    std::vector<std::string> words = prefix;
    for (const std::string& word : {std::string(TOVALEN_REC_PATH), std::string("serve"), file, std::string("--listen"),
                                    std::string("127.0.0.1:0"), std::string("--allow"), videos}) {
      words.push_back(word);
    }
    m_child = Spawn(words, dir.File("out.txt"), dir.File("err.txt"));
    for (int tries = 0; tries < 300; ++tries) {
      const std::string out = ReadFileBytes(dir.File("out.txt"));
      const auto at = out.find("serving on http://127.0.0.1:");
      if (at != std::string::npos && out.find('\n', at) != std::string::npos) {
        return out.substr(at + 11, out.find('\n', at) - at - 12);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ADD_FAILURE() << "serve did not start: " << ReadFileBytes(dir.File("err.txt"));
    return "http://127.0.0.1:1";
  }
  // SIGTERM; the exit status.
  int Stop() {
    ::kill(m_child, SIGTERM);
    int status = 0;
    const pid_t waited = ::waitpid(m_child, &status, 0);
    m_child = -1;
    return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Polls (a minute at most) until `done` holds for the reservations the server lists.
  static std::optional<json> AwaitReservations(Client& client, const std::function<bool(const json&)>& done) {
    for (int tries = 0; tries < 600; ++tries) {
      const json list = client.Call("GET", "/api/reservations").Json();
      if (list.is_object() && done(list["reservations"])) return list["reservations"];
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
  }
  static std::string At(std::int64_t offset) { return web::FormatWebTime(Clock::Now() + offset); }
  static std::string Body(const std::string& start, int seconds, const std::string& file) {
    return json{{"start", start}, {"seconds", seconds}, {"file", file}, {"title", "ニュース"}}.dump();
  }

  TempDir dir;
  std::string videos = dir.File("videos");
  std::string file = dir.File("schedule.yyk");
  SCaptureSettings settings;
  CYoyakuSchedule schedule;
  pid_t m_child = -1;
};

TEST_F(Serve, EditsReservationsWithTheEditorsChecksAndRefusesWhatItMust) {
  Save();
  Client client(Start());
  const std::string first = At(3600);

  // No session, or a session without its token: refused whatever the cookie.
  EXPECT_EQ(client.Call("POST", "/api/reservations", Body(first, 60, "a.avi")).status, 403);
  const json session = client.StartSession();
  EXPECT_EQ(session["loginRequired"], false);
  EXPECT_EQ(session["loggedIn"], true);
  client.SetToken("not-the-token");
  EXPECT_EQ(client.Call("DELETE", "/api/reservations/" + first).status, 403);
  client.StartSession();

  const Reply added = client.Call("POST", "/api/reservations", Body(first, 60, "a.avi"));
  ASSERT_EQ(added.status, 201) << added.body;
  EXPECT_EQ(added.Json()["reservations"][0]["file"], videos + "/a.avi");
  EXPECT_EQ(added.Json()["reservations"][0]["state"], "waiting");
  EXPECT_EQ(added.Json()["reservations"][0]["stateText"], "待機中");

  const auto refused = [&](const std::string& body) {
    const Reply reply = client.Call("POST", "/api/reservations", body);
    return std::pair{reply.status, reply.Json().value("error", std::string())};
  };
  EXPECT_EQ(refused(Body(At(3630), 60, "b.avi")).first, 409);
  EXPECT_THAT(refused(Body(At(3630), 60, "b.avi")).second, HasSubstr(first.substr(11, 5)));
  EXPECT_EQ(refused(Body(At(-60), 30, "b.avi")),
            std::pair(422L, std::string("録画開始時刻を未来の時刻にしてください。")));
  EXPECT_EQ(refused(json{{"start", At(7200)}, {"end", At(7100)}, {"file", "b.avi"}}.dump()),
            std::pair(422L, std::string("録画終了時間を録画開始時間よりも後にしてください。")));
  EXPECT_EQ(refused(Body(At(7200), 60, std::string(300, 'n') + ".avi")).first, 422);
  EXPECT_EQ(refused(Body(At(7200), 60, dir.File("b.avi"))).first, 403);
  EXPECT_EQ(refused(Body(At(7200), 60, videos + "/../b.avi")).first, 403);
  std::filesystem::create_directory_symlink(dir.Path(), videos + "/out");
  EXPECT_EQ(refused(Body(At(7200), 60, videos + "/out/b.avi")).first, 403);
  EXPECT_EQ(refused("{\"start\": ").first, 400);
  EXPECT_EQ(refused(json{{"start", At(7200)}, {"seconds", "60"}, {"file", "b.avi"}}.dump()).first, 400);
  const std::string tooLarge =
      json{{"start", At(7200)}, {"seconds", 60}, {"file", "b.avi"}, {"title", std::string(70 * 1024, 'x')}}.dump();
  EXPECT_EQ(refused(tooLarge).first, 413);
  // A copy into .ts, .mkv or .mp4 is for network streams: refused on the test pattern when entered.
  const auto copy = refused(Body(At(7200), 60, "b.mp4"));
  EXPECT_EQ(copy.first, 422);
  EXPECT_THAT(copy.second, HasSubstr("ネットワークストリーム"));
  const Reply copyChange = client.Call("PATCH", "/api/reservations/" + first, json{{"file", "a.MKV"}}.dump());
  EXPECT_EQ(copyChange.status, 422) << copyChange.body;

  // A weekly repeat lands four dated files; a change keeps the length, then the removal.
  const Reply repeated = client.Call(
      "POST", "/api/reservations",
      json{{"start", At(86400)}, {"seconds", 60}, {"file", "w.avi"}, {"repeat", "weekly"}, {"count", 4}}.dump());
  ASSERT_EQ(repeated.status, 201) << repeated.body;
  EXPECT_EQ(repeated.Json()["reservations"].size(), 4u);
  const std::string moved = At(5000);
  const Reply changed =
      client.Call("PATCH", "/api/reservations/" + first, json{{"start", moved}, {"title", "天気"}}.dump());
  ASSERT_EQ(changed.status, 200) << changed.body;
  EXPECT_EQ(changed.Json()["reservation"]["seconds"], 60);
  EXPECT_EQ(client.Call("PATCH", "/api/reservations/" + first, "{}").status, 404);
  EXPECT_EQ(client.Call("DELETE", "/api/reservations/" + moved).status, 200);
  EXPECT_EQ(client.Call("DELETE", "/api/reservations/" + moved).status, 404);

  const ScheduleFileContents stored = LoadScheduleFile(file);
  ASSERT_EQ(stored.reservations.size(), 4u);
  EXPECT_EQ(stored.reservations[0].strFileName.find(videos + "/w_"), 0u);
  const json listed = client.Call("GET", "/api/reservations").Json();
  EXPECT_EQ(listed["reservations"].size(), 4u);
  EXPECT_EQ(client.Call("GET", "/api/status").Json()["device"], settings.iCapDriverId);
  EXPECT_EQ(client.Call("GET", "/api/nothing").status, 404);
  EXPECT_EQ(client.Call("PUT", "/api/status").status, 405);
  EXPECT_EQ(client.Call("GET", "/api/still.jpg").status, 404);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(Serve, RecordsAReservationAddedOverTheWebAndServesItsFileInRanges) {
  Save();
  Client client(Start());
  client.StartSession();
  const std::string start = At(3);
  ASSERT_EQ(client.Call("POST", "/api/reservations", Body(start, 2, "live.avi")).status, 201);

  bool sawStill = false;
  const auto recorded = AwaitReservations(client, [&](const json& list) {
    if (list.empty()) return false;
    if (list[0]["state"] == "recording" && !sawStill) {
      const Reply still = client.Call("GET", "/api/still.jpg");
      sawStill = still.status == 200 && still.body.substr(0, 2) == "\xFF\xD8";
    }
    return list[0]["state"] == "recorded";
  });
  ASSERT_TRUE(recorded) << ReadFileBytes(dir.File("out.txt"));
  EXPECT_TRUE(sawStill);
  EXPECT_GT((*recorded)[0]["frames"].get<int>(), 30);
  EXPECT_EQ((*recorded)[0]["drops"], 0);
  const std::string bytes = ReadFileBytes(videos + "/live.avi");
  EXPECT_EQ((*recorded)[0]["bytes"], bytes.size());

  const json recordings = client.Call("GET", "/api/recordings").Json()["recordings"];
  ASSERT_EQ(recordings.size(), 1u);
  const std::string download = recordings[0]["download"];
  EXPECT_EQ(recordings[0]["name"], "live.avi");
  EXPECT_GE(recordings[0]["lengthSeconds"].get<int>(), 2);
  const Reply whole = client.Call("GET", download);
  EXPECT_EQ(whole.status, 200);
  EXPECT_TRUE(whole.body == bytes);
  const Reply part = client.Call("GET", download, std::nullopt, {"Range: bytes=100-199"});
  EXPECT_EQ(part.status, 206);
  EXPECT_TRUE(part.body == bytes.substr(100, 100));
  EXPECT_THAT(part.headers, HasSubstr("Content-Range: bytes 100-199/" + std::to_string(bytes.size())));
  const Reply tail = client.Call("GET", download, std::nullopt, {"Range: bytes=-16"});
  EXPECT_TRUE(tail.body == bytes.substr(bytes.size() - 16));
  const Reply beyond =
      client.Call("GET", download, std::nullopt, {"Range: bytes=" + std::to_string(bytes.size()) + "-"});
  EXPECT_EQ(beyond.status, 416);
  EXPECT_THAT(beyond.headers, HasSubstr("Content-Range: bytes */" + std::to_string(bytes.size())));
  EXPECT_EQ(client.Call("GET", "/api/recordings/" + At(99999) + "/file").status, 404);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(Serve, WebAndCommandLineEditsTogetherLoseNothing) {
  Save();
  Client client(Start());
  client.StartSession();
  constexpr int kEach = 8;
  std::thread web([&] {
    for (int i = 0; i < kEach; ++i) {
      client.Call("POST", "/api/reservations", Body(At(10000 + i * 100), 10, "w" + std::to_string(i) + ".avi"));
    }
  });
  for (int i = 0; i < kEach; ++i) {
    const std::string start = web::FormatWebTime(Clock::Now() + 20000 + i * 100);
    const CliResult added = RunCli({"add", file, "--start", start.substr(0, 10) + " " + start.substr(11), "--length",
                                    "10", "--file", videos + "/c" + std::to_string(i) + ".avi"});
    EXPECT_EQ(added.status, 0) << added.err;
  }
  web.join();
  EXPECT_EQ(LoadScheduleFile(file).reservations.size(), 2u * kEach);
  EXPECT_EQ(client.Call("GET", "/api/reservations").Json()["reservations"].size(), 2u * kEach);
}

TEST_F(Serve, AChangeTheFileCannotTakeIsRefusedAndLosesNothing) {
  SYoyaku kept;
  kept.timeStart = static_cast<Time32>(Clock::Now() + 3600);
  kept.spanDuration = 60;
  kept.strFileName = videos + "/kept.avi";
  schedule.AddYoyaku(kept);
  Save();
  const std::string stored = ReadFileBytes(file);
  // The server runs as nobody: it reads the schedule but cannot save into its folder.
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  std::filesystem::permissions(videos, std::filesystem::perms::all);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.File("config"))) {
    std::filesystem::permissions(entry.path(),
                                 std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
  }
  ::setenv("XDG_STATE_HOME", videos.c_str(), 1);
  Client client(Start({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}));
  client.StartSession();

  const Reply refused = client.Call("POST", "/api/reservations", Body(At(7200), 60, "a.avi"));
  EXPECT_EQ(refused.status, 503) << refused.body;
  EXPECT_THAT(refused.Json().value("error", std::string()), HasSubstr("予約ファイルを保存できません"));
  EXPECT_EQ(client.Call("DELETE", "/api/reservations/" + web::FormatWebTime(kept.timeStart)).status, 503);
  EXPECT_TRUE(ReadFileBytes(file) == stored);
  EXPECT_EQ(client.Call("GET", "/api/reservations").Json()["reservations"].size(), 1u);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(Serve, APasswordGuardsEverythingButTheLoginAndIsNeededOffLoopback) {
  Save();
  // Off loopback without a password it does not start. The address is one this machine does not
  // have (TEST-NET-1), so even a server that failed to refuse could not listen there.
  const pid_t refused = Spawn({TOVALEN_REC_PATH, "serve", file, "--listen", "192.0.2.1:0", "--allow", videos},
                              dir.File("out.txt"), dir.File("err.txt"));
  int status = 0;
  ASSERT_EQ(::waitpid(refused, &status, 0), refused);
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_THAT(ReadFileBytes(dir.File("err.txt")), HasSubstr("serve-password"));
  EXPECT_EQ(ReadFileBytes(dir.File("out.txt")), "");

  ASSERT_EQ(std::system(("printf 'sofa-password\\n' | " + std::string(TOVALEN_REC_PATH) + " serve-password").c_str()),
            0);
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("config/tovalen/serve-password").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(dir.File("config/tovalen/serve-password")).find("sofa-password"), std::string::npos);

  const std::string base = Start();
  Client client(base);
  const json session = client.StartSession();
  EXPECT_EQ(session["loginRequired"], true);
  EXPECT_EQ(session["loggedIn"], false);
  EXPECT_EQ(client.Call("GET", "/api/reservations").status, 401);
  EXPECT_EQ(client.Call("POST", "/api/reservations", Body(At(3600), 60, "a.avi")).status, 401);
  const Reply login = client.Call("POST", "/api/login", json{{"password", "sofa-password"}}.dump());
  ASSERT_EQ(login.status, 200);
  EXPECT_THAT(login.headers, HasSubstr("HttpOnly; SameSite=Strict"));
  client.SetToken(login.Json()["csrfToken"].get<std::string>());
  EXPECT_EQ(client.Call("GET", "/api/reservations").status, 200);
  EXPECT_EQ(client.Call("POST", "/api/reservations", Body(At(3600), 60, "a.avi")).status, 201);

  Client wrong(base);
  wrong.StartSession();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(wrong.Call("POST", "/api/login", json{{"password", "guess"}}.dump()).status, 401);
  }
  const Reply waiting = wrong.Call("POST", "/api/login", json{{"password", "sofa-password"}}.dump());
  EXPECT_EQ(waiting.status, 429);
  EXPECT_THAT(waiting.headers, HasSubstr("Retry-After: "));
  EXPECT_EQ(Stop(), 0);
}

}  // namespace
}  // namespace tovalen::testing
