#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>

#include "avi_probe.h"
#include "cli/followed_schedule_file.h"
#include "cli_test_support.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/local_time.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_schedule.h"
#include "support/fake_logind.h"
#include "support/reservation.h"
#include "support/spawn.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace tovalen::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Ge;
using ::testing::HasSubstr;
using ::testing::Le;
using ::testing::MatchesRegex;

// tovalen-rec run on the test-pattern device in real time, with its settings file in a
// temporary folder. Reservations are a second long, so each file holds two seconds.
class RunCommand : public ::testing::Test {
 protected:
  RunCommand() : config(dir.File("config")) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) previousConfig = old;
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    if (const char* old = std::getenv("XDG_STATE_HOME")) previousState = old;
    ::setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
    const std::string index = TestPatternIndex();
    settings.iCapDriverId = std::stoi(index);
    EXPECT_EQ(RunCli({"device", index, "--size", "160x120"}).status, 0);
  }
  ~RunCommand() override {
    previousConfig ? ::setenv("XDG_CONFIG_HOME", previousConfig->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    previousState ? ::setenv("XDG_STATE_HOME", previousState->c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
  }

  // A reservation starting `offset` seconds from now.
  SYoyaku Add(std::int64_t offset, Span32 length, const std::string& path) {
    const SYoyaku yoyaku = Reservation(Clock::Now() + offset, length, kDefaultYoyakuTitle, path);
    schedule.AddYoyaku(yoyaku);
    return yoyaku;
  }
  std::string Save() {
    SaveScheduleFile(file, settings, schedule);
    return ReadFileBytes(file);
  }
  // Starts tovalen-rec run [--late] FILE as its own process, its output going to out.txt and
  // err.txt.
  pid_t SpawnRun(bool late = false) {
    std::vector<std::string> args{TOVALEN_REC_PATH, "run", file};
    if (late) args.insert(args.begin() + 2, "--late");
    const pid_t child = Spawn(args, dir.File("out.txt"), dir.File("err.txt"));
    EXPECT_GT(child, 0);
    return child;
  }
  // Waits until the run has printed `text` (a minute at most, so a fault cannot hang the test).
  bool AwaitOutput(const std::string& text) {
    return WaitUntil([&] { return ReadFileBytes(dir.File("out.txt")).find(text) != std::string::npos; },
                     std::chrono::minutes(1), std::chrono::milliseconds(100));
  }
  static int ExitStatus(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  // A 1 s reservation records until more than a second has passed: 2 s of frames, plus those
  // captured while the stop is on its way, which a busy machine makes up to a second.
  static ::testing::Matcher<std::int64_t> TwoSecondsOfFrames() { return AllOf(Ge(60), Le(91)); }
  static std::int64_t Chunks(const std::string& path) {
    const ProbedFile probed = ProbeFile(path);
    return probed.error.empty() && probed.video ? probed.video->chunks : -1;
  }

  TempDir dir;
  std::string config;
  std::optional<std::string> previousConfig;
  std::optional<std::string> previousState;
  std::string file = dir.File("schedule.yyk");
  SCaptureSettings settings;
  CYoyakuSchedule schedule;
};

TEST_F(RunCommand, RecordsEachReservationAtItsTimeAndSkipsThePast) {
  Add(-30, 1, dir.File("past.avi"));
  const SYoyaku first = Add(2, 1, dir.File("first.avi"));
  const SYoyaku second = Add(5, 1, dir.File("second.avi"));
  const std::string stored = Save();
  const CliResult result = RunCli({"run", file});

  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("予約待機中: " + first.GetListText() + "\n録画開始中: " + first.GetListText() +
                                    "\n録画中 0 frame: 0 of 1 s recorded, 0 dropped\n"));
  EXPECT_THAT(result.out, HasSubstr("予約待機中: " + second.GetListText() + "\n録画開始中: " + second.GetListText()));
  EXPECT_THAT(result.out, HasSubstr("\n終了\n"));
  EXPECT_THAT(Chunks(first.strFileName), TwoSecondsOfFrames());
  EXPECT_THAT(Chunks(second.strFileName), TwoSecondsOfFrames());
  EXPECT_FALSE(std::filesystem::exists(dir.File("past.avi")));
  EXPECT_EQ(ReadFileBytes(file), stored);
}

TEST_F(RunCommand, AFailedReservationFailsTheRunButNotTheNextReservation) {
  settings.videoOption.PersistentConnect = true;  // the run connects the device itself
  const SYoyaku failing = Add(2, 1, dir.File("missing/first.avi"));
  const SYoyaku next = Add(3, 1, dir.File("next.avi"));
  Save();
  const CliResult result = RunCli({"run", file});

  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tovalen-rec: 1 of 2 reservations failed to record\n");
  EXPECT_THAT(result.out,
              HasSubstr("キャプチャ開始時にエラー発生: " + failing.GetListText() + " (ファイルの書き込み 失敗!)\n"));
  EXPECT_THAT(result.out, HasSubstr("録画開始中: " + next.GetListText()));
  EXPECT_THAT(Chunks(next.strFileName), TwoSecondsOfFrames());
}

TEST_F(RunCommand, EndsAtOnceWhenNothingIsLeftNamingEachReservationDropped) {
  const SYoyaku past = Add(-30, 1, dir.File("past.avi"));
  const SYoyaku underWay = Add(-10, 60, dir.File("under_way.avi"));
  Save();
  const CliResult result = RunCli({"run", file});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, ::testing::MatchesRegex("開始時刻を 3[0-9] 秒過ぎた予約は録画しません: [^\n]*\n"
                                                  "開始時刻を 1[0-9] 秒過ぎた予約は録画しません: [^\n]*\n予約なし\n"));
  EXPECT_THAT(result.out, HasSubstr(past.GetListText()));
  EXPECT_THAT(result.out, HasSubstr(underWay.GetListText()));
}

TEST_F(RunCommand, LateRecordsAReservationUnderWayUntilItsEnd) {
  const SYoyaku underWay = Add(-2, 10, dir.File("under_way.avi"));
  Save();
  const CliResult result = RunCli({"run", "--late", file});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("秒遅れで録画します (残り "));
  EXPECT_THAT(result.out, HasSubstr("録画開始中: " + underWay.GetListText()));
  // What was left (8 s, less on a slow start), and the stop rule's extra second; not all 11 s.
  EXPECT_THAT(Chunks(underWay.strFileName), AllOf(Ge(5 * 30), Le(9 * 30 + 4)));
}

TEST_F(RunCommand, RecoversWhatAKilledRecordingLeftInTheFoldersOfItsReservations) {
  // A recording cut off before its index, as a killed capture leaves it, of a reservation now past.
  const std::string recorded = dir.File("whole.avi");
  const std::string device = std::to_string(settings.iCapDriverId);
  ASSERT_EQ(RunCli({"record", "--file", recorded, "--length", "1", "--device", device}).status, 0);
  const std::string bytes = ReadFileBytes(recorded);
  const std::string leftover = dir.File("past.recording-Ab12Cd.avi");
  WriteFileBytes(leftover, bytes.substr(0, bytes.size() / 2));
  Add(-30, 1, dir.File("past.avi"));
  Save();
  const CliResult result = RunCli({"run", file});

  EXPECT_EQ(result.status, 0) << result.err;
  // The past reservation is dropped (and said to be) before its leftover is recovered.
  EXPECT_THAT(result.out,
              ::testing::MatchesRegex("開始時刻を [0-9]+ 秒過ぎた予約は録画しません: [^\n]*\n"
                                      "予約なし\nrecovered " +
                                      leftover + " as " + dir.File("past.avi") + ": [1-9][0-9]* frames, [0-9.]+ s\n"));
  EXPECT_GT(Chunks(dir.File("past.avi")), 0);
  EXPECT_FALSE(std::filesystem::exists(leftover));
}

TEST_F(RunCommand, ALateStartAfterAKillRecordsTheRestBesideWhatWasRecovered) {
  const SYoyaku killed = Add(1, 12, dir.File("a.avi"));
  Save();
  const pid_t child = SpawnRun(true);
  ASSERT_GT(child, 0);
  // A busy machine starts it a second or two late, with less than 12 s left.
  ASSERT_TRUE(AwaitOutput(" frame: 1 of "));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_FALSE(std::filesystem::exists(killed.strFileName));
  const CliResult result = RunCli({"run", "--late", file});

  EXPECT_EQ(result.status, 0) << result.err;
  const std::string beside = dir.File("a (late).avi");
  EXPECT_THAT(result.out, MatchesRegex("(.|\n)*\nrecovered [^\n]*/a\\.recording-[A-Za-z0-9]{6}\\.avi as " +
                                       killed.strFileName + ": [1-9][0-9]* frames(.|\n)*"));
  EXPECT_THAT(result.out, HasSubstr("録画済みのファイルを残すため、残りを別の名前に録画します: " + beside + "\n"));
  EXPECT_GT(Chunks(killed.strFileName), 0);  // the part recorded before the kill
  EXPECT_GT(Chunks(beside), 3 * 30);         // and the rest
}

TEST_F(RunCommand, RefusesAScheduleNotReadyToRecord) {
  Add(60, 1, dir.File("a.avi"));
  settings.iCapDriverId = -1;
  Save();
  const std::string notReady = "tovalen-rec: キャプチャデバイスを選択してください\n";
  EXPECT_EQ(RunCli({"run", file}).err, notReady);

  settings.iCapDriverId = 9;  // no machine here has ten capture devices
  settings.videoOption.PersistentConnect = true;
  Save();
  const CliResult standing = RunCli({"run", file});
  EXPECT_EQ(standing.status, 2);
  EXPECT_EQ(standing.err, notReady);
  EXPECT_EQ(standing.out, "");

  EXPECT_EQ(RunCli({"run", dir.File("none.yyk")}).status, 2);
  EXPECT_EQ(RunCli({"run"}).status, 2);
}

TEST_F(RunCommand, ATerminationSignalEndsTheRunAfterSavingTheRecording) {
  const SYoyaku running = Add(1, 60, dir.File("interrupted.avi"));
  Add(120, 1, dir.File("never.avi"));
  Save();
  const FakeLogind logind;             // the run keeps the machine awake while it records
  const pid_t child = SpawnRun(true);  // late: a busy machine may bring the run up after the start
  ASSERT_GT(child, 0);
  ASSERT_TRUE(AwaitOutput(": 1 of "));
  EXPECT_THAT(logind.HeldWhys(), ElementsAre("録画予約 " + running.GetListText()));
  ::kill(child, SIGTERM);

  EXPECT_EQ(ExitStatus(child), 0);
  EXPECT_TRUE(logind.AwaitHeld({}));
  EXPECT_EQ(ReadFileBytes(dir.File("err.txt")), "");
  EXPECT_THAT(ReadFileBytes(dir.File("out.txt")),
              AllOf(HasSubstr("録画開始中: " + running.GetListText()), HasSubstr("\nstopped before 1 reservation\n")));
  EXPECT_THAT(Chunks(running.strFileName), AllOf(Ge(15), Le(90)));
  EXPECT_FALSE(std::filesystem::exists(dir.File("never.avi")));
}

TEST_F(RunCommand, FollowsItsFileAndKeepsThePlanWhileTheFileCannotBeRead) {
  const SYoyaku later = Add(20, 1, dir.File("later.avi"));
  const std::string stored = Save();
  const pid_t child = SpawnRun();
  ASSERT_GT(child, 0);
  ASSERT_TRUE(AwaitOutput("予約待機中: " + later.GetListText()));

  WriteFileAtomically(file, "damaged");
  ASSERT_TRUE(AwaitOutput("; the reservations read before stay planned\n"));
  WriteFileAtomically(file, stored);
  const std::string sooner = FormatLocalTime(Clock::Now() + 6, "%Y-%m-%d %H:%M:%S");
  ASSERT_EQ(RunCli({"add", file, "--start", sooner, "--length", "1", "--file", dir.File("sooner.avi")}).status, 0);
  const std::string added = ReadFileBytes(file);

  EXPECT_EQ(ExitStatus(child), 0) << ReadFileBytes(dir.File("err.txt"));
  const std::string out = ReadFileBytes(dir.File("out.txt"));
  EXPECT_THAT(out, HasSubstr("schedule changed: 2 to come\n"));
  const auto firstStart = out.find("録画開始中: ");
  EXPECT_NE(out.find(dir.File("sooner.avi"), firstStart), std::string::npos);
  EXPECT_LT(out.find(dir.File("sooner.avi"), firstStart), out.find("録画開始中: " + later.GetListText()));
  EXPECT_THAT(Chunks(dir.File("sooner.avi")), TwoSecondsOfFrames());
  EXPECT_THAT(Chunks(later.strFileName), TwoSecondsOfFrames());
  EXPECT_EQ(ReadFileBytes(file), added);
}

// Writes the bytes into the file in place (the same inode) and gives it a fixed modification
// time, so that what identifies the file stays the same whatever it holds.
void OverwriteKeepingItsIdentity(const std::string& path, const std::string& bytes) {
  WriteFileBytes(path, bytes);
  const timespec times[2] = {{1'700'000'000, 0}, {1'700'000'000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FollowedScheduleFile, AFileThatCouldNotBeReadIsReadAgainUntilItCan) {
  TempDir dir;
  const std::string file = dir.File("s.yyk");
  CYoyakuSchedule schedule;
  SYoyaku yoyaku = Reservation(2'000'000'000, 10, kDefaultYoyakuTitle, "/tmp/a.avi");
  schedule.AddYoyaku(yoyaku);
  SaveScheduleFile(file, SCaptureSettings{}, schedule);
  std::ostringstream out;
  cli::FollowedScheduleFile followed(file, out);
  followed.Read();

  yoyaku.timeStart += 3600;
  schedule.AddYoyaku(yoyaku);
  SaveScheduleFile(file, SCaptureSettings{}, schedule);
  const std::string added = ReadFileBytes(file);
  std::string damaged = added;
  damaged[24] = 5;  // more reservations than the file holds
  OverwriteKeepingItsIdentity(file, damaged);
  EXPECT_FALSE(followed.TakeChange().has_value());
  EXPECT_FALSE(followed.TakeChange().has_value());
  // Mended with the same size and time: nothing tells it apart from the damaged version.
  OverwriteKeepingItsIdentity(file, added);
  const auto change = followed.TakeChange();

  ASSERT_TRUE(change.has_value());
  EXPECT_EQ(change->size(), 2u);
  EXPECT_FALSE(followed.TakeChange().has_value());
  const std::string told = out.str();
  EXPECT_THAT(told, HasSubstr("; the reservations read before stay planned\n"));
  EXPECT_EQ(told.find('\n'), told.size() - 1);  // told once, not at every check
}

}  // namespace
}  // namespace tovalen::testing
