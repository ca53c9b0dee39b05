#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "web/allowed_folders.h"
#include "web/api_error.h"
#include "web/http_range.h"
#include "web/http_server.h"
#include "web/live_state.h"
#include "web/sessions.h"

namespace tovalen::testing {
namespace {

using web::ApiError;

int StatusOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ApiError& error) {
    return error.Status();
  }
  return 0;
}

TEST(AllowedFolders, KeepsTargetsAndDownloadsInsideTheFolders) {
  TempDir dir;
  const std::string videos = dir.File("videos");
  std::filesystem::create_directories(videos + "/sub");
  std::filesystem::create_directories(dir.File("elsewhere"));
  std::filesystem::create_directory_symlink(dir.File("elsewhere"), videos + "/out");
  std::filesystem::create_directory_symlink(videos + "/sub", videos + "/in");
  WriteFileBytes(dir.File("elsewhere/secret.avi"), "x");
  std::filesystem::create_symlink(dir.File("elsewhere/secret.avi"), videos + "/link.avi");
  WriteFileBytes(videos + "/sub/kept.avi", "RIFF");
  const web::AllowedFolders folders({videos});

  EXPECT_EQ(folders.ResolveTarget("news.avi"), videos + "/news.avi");
  EXPECT_EQ(folders.ResolveTarget(videos + "/in/news.avi"), videos + "/sub/news.avi");
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget(videos + "/../elsewhere/a.avi"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget(videos + "/sub/./a.avi"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget(videos + "/out/a.avi"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget(videos + "/link.avi"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget("/etc/passwd"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget("sub/a.avi"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget(videos + "/missing/a.avi"); }), 422);
  EXPECT_EQ(StatusOf([&] { folders.ResolveTarget(""); }), 400);

  EXPECT_GE(folders.OpenForDownload(videos + "/sub/kept.avi").get(), 0);
  EXPECT_EQ(StatusOf([&] { folders.OpenForDownload(videos + "/link.avi"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.OpenForDownload(videos + "/out/secret.avi"); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.OpenForDownload(dir.File("elsewhere/secret.avi")); }), 403);
  EXPECT_EQ(StatusOf([&] { folders.OpenForDownload(videos + "/gone.avi"); }), 404);
  EXPECT_THROW(web::AllowedFolders({dir.File("none")}), std::runtime_error);
}

TEST(HttpRange, ServesOneRangeAndRefusesOnlyOneBeyondTheEnd) {
  using web::RangeAnswer;
  const auto part = [](const char* header, std::uint64_t size) { return web::ParseRange(std::string(header), size); };
  EXPECT_EQ(web::ParseRange(std::nullopt, 10).range.length, 10u);
  const auto middle = part("bytes=2-4", 10);
  EXPECT_EQ(middle.answer, RangeAnswer::kPart);
  EXPECT_EQ(middle.range.first, 2u);
  EXPECT_EQ(middle.range.length, 3u);
  EXPECT_EQ(part("bytes=8-", 10).range.length, 2u);
  EXPECT_EQ(part("bytes=5-99", 10).range.length, 5u);
  const auto tail = part("bytes=-3", 10);
  EXPECT_EQ(tail.range.first, 7u);
  EXPECT_EQ(tail.range.length, 3u);
  EXPECT_EQ(part("bytes=-30", 10).range.length, 10u);
  EXPECT_EQ(part("bytes=10-", 10).answer, RangeAnswer::kUnsatisfiable);
  EXPECT_EQ(part("bytes=-0", 10).answer, RangeAnswer::kUnsatisfiable);
  for (const char* whole : {"bytes=4-2", "bytes=0-1,4-5", "items=0-1", "bytes=x-", "bytes=1-2x", "bytes=-"}) {
    EXPECT_EQ(part(whole, 10).answer, RangeAnswer::kWhole) << whole;
  }
}

TEST(LoginThrottle, FiveWrongPasswordsWaitAndEachFurtherOneDoublesTheWait) {
  web::LoginThrottle throttle;
  const auto now = web::LoginThrottle::Clock::now();
  for (int i = 0; i < 4; ++i) throttle.Failed("192.0.2.1", now);
  EXPECT_FALSE(throttle.WaitFor("192.0.2.1", now));
  throttle.Failed("192.0.2.1", now);
  EXPECT_EQ(throttle.WaitFor("192.0.2.1", now), web::LoginThrottle::kFirstWait);
  EXPECT_FALSE(throttle.WaitFor("192.0.2.2", now));
  const auto later = now + web::LoginThrottle::kFirstWait;
  EXPECT_FALSE(throttle.WaitFor("192.0.2.1", later));
  throttle.Failed("192.0.2.1", later);
  EXPECT_EQ(throttle.WaitFor("192.0.2.1", later), 2 * web::LoginThrottle::kFirstWait);
  throttle.Succeeded("192.0.2.1");
  EXPECT_FALSE(throttle.WaitFor("192.0.2.1", later));
}

TEST(WebListen, OnlyNumericAddressesAndOnlyTheTwoLoopbacksGoWithoutAPassword) {
  const auto v4 = web::ParseListenAddress("127.0.0.1:8080");
  ASSERT_TRUE(v4);
  EXPECT_EQ(v4->port, 8080);
  EXPECT_TRUE(web::IsLoopback(*v4));
  const auto v6 = web::ParseListenAddress("[::1]:0");
  ASSERT_TRUE(v6);
  EXPECT_TRUE(web::IsLoopback(*v6));
  EXPECT_FALSE(web::IsLoopback(*web::ParseListenAddress("0.0.0.0:8080")));
  EXPECT_FALSE(web::IsLoopback(*web::ParseListenAddress("[::]:8080")));
  EXPECT_FALSE(web::IsLoopback(*web::ParseListenAddress("192.168.1.2:80")));
  for (const char* bad : {"localhost:8080", "127.0.0.1", "127.0.0.1:65536", "::1:80", "1.2.3.4:8x", ":80"}) {
    EXPECT_FALSE(web::ParseListenAddress(bad)) << bad;
  }
}

TEST(LiveState, AFailureShownAfterTheCaptureMarksTheReservationFailed) {
  web::LiveState live;
  RunnerDisplay display;
  live.Starting(100, "/v/a.avi");
  display.state = RunnerState::kStarting;
  live.Show(display);
  live.CaptureStarted("/v/a_late.avi");
  live.Progress(1500, 45, 2);
  display.state = RunnerState::kError;
  display.failure = "ファイルの書き込み 失敗!";
  live.Show(display);
  live.Starting(200, "/v/b.avi");
  live.Show(RunnerDisplay{"", "", "", RunnerState::kWaiting});

  const web::LiveSnapshot snapshot = live.Snapshot();
  EXPECT_FALSE(snapshot.current);
  EXPECT_EQ(snapshot.failed, 1);
  EXPECT_EQ(snapshot.recorded, 1);
  const web::RecordingProgress& failed = snapshot.finished.at(100);
  EXPECT_TRUE(failed.failed);
  EXPECT_EQ(failed.reason, "ファイルの書き込み 失敗!");
  EXPECT_EQ(failed.file, "/v/a_late.avi");
  EXPECT_EQ(failed.frames, 45);
  EXPECT_EQ(failed.drops, 2);
  EXPECT_FALSE(snapshot.finished.at(200).failed);
}

}  // namespace
}  // namespace tovalen::testing
