#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli_test_support.h"
#include "platform/clock.h"
#include "support/temp_dir.h"

namespace tovalen {
namespace {

using ::testing::HasSubstr;
using testing::ReadFileBytes;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr std::int64_t kNow = 1798094400;  // 2026-12-24 06:40:00 UTC (tests run in UTC)

class ScheduleCommands : public ::testing::Test {
 protected:
  ScheduleCommands() : clock(kNow), file(dir.File("s.yyk")) { EXPECT_EQ(RunCli({"new", file}).status, 0); }

  testing::CliResult Add(const std::string& start, const std::string& length, const std::string& title = "t") {
    return RunCli(
        {"add", file, "--start", start, "--length", length, "--file", "/v/" + title + ".avi", "--title", title});
  }

  std::string List() { return RunCli({"list", file}).out; }

  // Runs a command that must fail with the given status and one error line, leaving the file as it was.
  void ExpectRefused(const std::vector<std::string>& args, int status, const std::string& message) {
    const std::string before = ReadFileBytes(file);
    const auto result = RunCli(args);
    EXPECT_EQ(result.status, status) << result.err;
    EXPECT_THAT(result.err, HasSubstr(message));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(ReadFileBytes(file), before);
  }

  ScopedFakeClock clock;
  TempDir dir;
  std::string file;
};

TEST_F(ScheduleCommands, NewWritesTheEmptyDefaultScheduleAndNeverOverwrites) {
  EXPECT_EQ(ReadFileBytes(file).size(), 28u);
  EXPECT_EQ(RunCli({"settings", file}).out,
            "FPS = 1, PersistentConnect = 0\nnSamplesPerSec = 3, nPrecision = 1, nChannels = 1\nCapDriverId = -1\n");
  ASSERT_EQ(Add("2026-12-24 21:00:00", "30m").status, 0);
  ExpectRefused({"new", file}, 2, "already exists");
}

TEST_F(ScheduleCommands, AddListsInStartOrderAndAcceptsTouchingReservations) {
  ASSERT_EQ(Add("2026-12-24 21:00:00", "30m", "late").status, 0);
  ASSERT_EQ(RunCli({"add", file, "--start", "2026-12-24 20:30:00", "--end", "2026-12-24 21:00:00", "--file", "/v/e.avi",
                    "--title", "early"})
                .status,
            0);
  EXPECT_EQ(List(),
            "2026/12/24(Thu) 20:30:00 ～ 2026/12/24(Thu) 21:00:00, /v/e.avi, early\n"
            "2026/12/24(Thu) 21:00:00 ～ 2026/12/24(Thu) 21:30:00, /v/late.avi, late\n");
}

TEST_F(ScheduleCommands, AddRefusesWhatTheEditorAndTheListRefuse) {
  ASSERT_EQ(Add("2026-12-24 21:00:00", "1h").status, 0);
  ExpectRefused({"add", file, "--start", "2026-12-24 21:59:59", "--length", "10", "--file", "x"}, 2,
                "時間帯が他の予約と重なっています");
  ExpectRefused({"add", file, "--start", "2026-12-24 06:39:59", "--length", "10", "--file", "x"}, 2,
                "録画開始時刻を未来の時刻にしてください。");
  ExpectRefused({"add", file, "--start", "2026-12-25 10:00:00", "--end", "2026-12-25 10:00:00", "--file", "x"}, 2,
                "録画終了時間を録画開始時間よりも後にしてください。");
  ExpectRefused({"add", file, "--start", "2038-01-19 03:14:00", "--length", "1m", "--file", "x"}, 2, "2038");
  ExpectRefused({"add", file, "--start", "2026-12-25 10:00:00", "--length", "10"}, 2, "--file");
  ExpectRefused(
      {"add", file, "--start", "2026-12-25 10:00:00", "--length", "10", "--end", "2026-12-25 11:00:00", "--file", "x"},
      2, "either --end or --length");
  ExpectRefused({"add", file, "--start", "tomorrow", "--length", "10", "--file", "x"}, 2, "tomorrow");
  ExpectRefused({"add", file, "--start", "2026-12-25 10:00:00", "--length", "-5", "--file", "x"}, 2, "-5");
  ExpectRefused({"add", file, "--start", "2026-12-25 10:00:00", "--length", "10", "--file", "x", "--colour", "red"}, 2,
                "--colour");
}

TEST_F(ScheduleCommands, AddRepeatsIntoDatedFilesAllOrNothing) {
  ASSERT_EQ(Add("2026-12-28 21:10:00", "10m", "other").status, 0);
  const std::vector<std::string> weekdays{"add",      file,       "--start", "2026-12-25 21:00:00",
                                          "--length", "15m",      "--file",  "/v/n.avi",
                                          "--repeat", "weekdays", "--count", "2"};
  ExpectRefused(
      weekdays, 2,
      "時間帯が他の予約と重なっています: 2026/12/28(Mon) 21:00:00 ～ 2026/12/28(Mon) 21:15:00, /v/n_2026-12-28.avi");
  std::vector<std::string> weekly = weekdays;
  weekly[9] = "weekly";
  ASSERT_EQ(RunCli(weekly).status, 0);
  EXPECT_EQ(List(),
            "2026/12/25(Fri) 21:00:00 ～ 2026/12/25(Fri) 21:15:00, /v/n_2026-12-25.avi, 番組名\n"
            "2026/12/28(Mon) 21:10:00 ～ 2026/12/28(Mon) 21:20:00, /v/other.avi, other\n"
            "2027/01/01(Fri) 21:00:00 ～ 2027/01/01(Fri) 21:15:00, /v/n_2027-01-01.avi, 番組名\n");
  weekly[11] = "53";
  ExpectRefused(weekly, 2, "--count");
  ExpectRefused({"add", file, "--start", "2026-12-30 10:00:00", "--length", "10", "--file", "x", "--repeat", "monthly",
                 "--count", "2"},
                2, "monthly");
  ExpectRefused({"add", file, "--start", "2026-12-30 10:00:00", "--length", "10", "--file", "x", "--count", "2"}, 2,
                "--repeat");
}

TEST_F(ScheduleCommands, AddAndEditRefuseATargetThatIsTheScheduleOrWhoseDerivedNamesCannotFit) {
  auto add = [&](const std::string& target, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"add", file, "--start", "2026-12-25 21:00:00", "--length", "1m", "--file", target};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  std::filesystem::create_symlink(file, dir.File("link.yyk"));
  ASSERT_EQ(::link(file.c_str(), dir.File("hard.yyk").c_str()), 0);
  for (const std::string& same : {file, dir.File("link.yyk"), dir.File("hard.yyk"), dir.File("./s.yyk")}) {
    ExpectRefused(add(same), 2, "it is the schedule file itself");
  }
  // The name the schedule's own save writes through before renaming it over the schedule.
  ExpectRefused(add(dir.File(".tovalen-Ab12Cd")), 2, "it is the schedule file itself");

  // 237 bytes leave room for the 18 that the recovery's scratch name adds.
  const std::string longest = dir.File(std::string(233, 'n') + ".avi");
  ExpectRefused(add(dir.File(std::string(234, 'n') + ".avi")), 2, "the file name is too long");
  ExpectRefused(add(dir.File("no-such-folder/" + std::string(234, 'n') + ".avi")), 2, "the file name is too long");
  ExpectRefused(add(dir.File(std::string(234, 'n'))), 2, "the file name is too long");  // no extension to replace
  std::string deep;
  for (int level = 0; level < 21; ++level) deep += std::string(200, 'd') + "/";
  ExpectRefused(add(dir.File(deep + "a.avi")), 2, "the path is too long");
  // A repeat's date makes the name 11 bytes longer.
  ExpectRefused(add(dir.File(std::string(223, 'r') + ".avi"), {"--repeat", "daily", "--count", "2"}), 2,
                "r_2026-12-25.avi: the file name is too long");
  ASSERT_EQ(RunCli(add(longest)).status, 0);

  ExpectRefused({"edit", file, "0", "--file", dir.File("link.yyk")}, 2, "it is the schedule file itself");
  ExpectRefused({"edit", file, "0", "--file", longest + "x"}, 2, "the file name is too long");

  // A copy into .ts, .mkv or .mp4 is for network streams: on the test pattern it is refused when
  // entered, whatever the case of its extension; an .avi is recorded from any device.
  ASSERT_EQ(RunCli({"set", file, "--device", testing::TestPatternIndex()}).status, 0);
  ExpectRefused(add(dir.File("pattern.mp4")), 2, "ネットワークストリーム");
  ExpectRefused({"edit", file, "0", "--file", dir.File("pattern.MKV")}, 2, "ネットワークストリーム");
  const auto avi = RunCli({"edit", file, "0", "--file", dir.File("pattern.avi")});
  EXPECT_EQ(avi.status, 0) << avi.err;
  EXPECT_EQ(avi.err, "");
  EXPECT_THAT(List(), HasSubstr("pattern.avi"));
}

TEST_F(ScheduleCommands, AStartInTheCurrentSecondIsAccepted) { EXPECT_EQ(Add("2026-12-24 06:40:00", "10").status, 0); }

TEST_F(ScheduleCommands, EditKeepsTheLengthAndMayMoveWithinItsOwnSpan) {
  ASSERT_EQ(Add("2026-12-24 21:00:00", "1h", "a").status, 0);
  ASSERT_EQ(Add("2026-12-24 23:00:00", "1h", "b").status, 0);
  ASSERT_EQ(RunCli({"edit", file, "0", "--start", "2026-12-24 21:30:00", "--title", "a2"}).status, 0);
  EXPECT_THAT(List(), HasSubstr("21:30:00 ～ 2026/12/24(Thu) 22:30:00, /v/a.avi, a2\n"));
  ExpectRefused({"edit", file, "0", "--length", "2h"}, 2, "時間帯が他の予約と重なっています");
  ExpectRefused({"edit", file, "2", "--title", "x"}, 2, "INDEX");
  ExpectRefused({"edit", file, "-1", "--title", "x"}, 2, "INDEX");
  // Moving b before a reorders the list.
  ASSERT_EQ(RunCli({"edit", file, "1", "--start", "2026-12-24 20:00:00", "--end", "2026-12-24 21:30:00"}).status, 0);
  EXPECT_THAT(List(), ::testing::StartsWith("2026/12/24(Thu) 20:00:00 ～ 2026/12/24(Thu) 21:30:00, /v/b.avi, b\n"));
}

TEST_F(ScheduleCommands, RemoveAndPurge) {
  ASSERT_EQ(Add("2026-12-24 07:00:00", "1m", "a").status, 0);
  ASSERT_EQ(Add("2026-12-24 08:00:00", "1m", "b").status, 0);
  ASSERT_EQ(Add("2026-12-24 09:00:00", "1m", "c").status, 0);
  ASSERT_EQ(RunCli({"remove", file, "1"}).status, 0);
  EXPECT_THAT(List(), ::testing::Not(HasSubstr(", b\n")));
  ExpectRefused({"remove", file, "2"}, 2, "INDEX");

  clock.Set(kNow + 3600);  // 07:40: a has started
  const auto purge = RunCli({"purge", file});
  EXPECT_EQ(purge.status, 0);
  EXPECT_EQ(purge.out, "removed 1 past reservation\n");
  EXPECT_EQ(List(), "2026/12/24(Thu) 09:00:00 ～ 2026/12/24(Thu) 09:01:00, /v/c.avi, c\n");
}

TEST_F(ScheduleCommands, SetChangesOnlyTheNamedSettingsAndChecksTheirRange) {
  ASSERT_EQ(RunCli({"set", file, "--fps", "3", "--persistent", "on", "--channels", "0", "--device", "2"}).status, 0);
  EXPECT_EQ(RunCli({"settings", file}).out,
            "FPS = 3, PersistentConnect = 1\nnSamplesPerSec = 3, nPrecision = 1, nChannels = 0\nCapDriverId = 2\n");
  ExpectRefused({"set", file, "--rate", "4"}, 2, "--rate");
  ExpectRefused({"set", file, "--persistent", "yes"}, 2, "on or off");
  ExpectRefused({"set", file, "--device", "10"}, 2, "--device");
  ExpectRefused({"set", file}, 2, "nothing to set");
}

TEST_F(ScheduleCommands, CorruptOrMissingFilesAreReportedAndLeftAlone) {
  ASSERT_EQ(Add("2026-12-24 21:00:00", "1h").status, 0);
  const std::string whole = ReadFileBytes(file);
  WriteFileBytes(file, whole.substr(0, whole.size() - 3));
  ExpectRefused({"list", file}, 2, "reservation 1 of 1 is damaged");
  ExpectRefused({"add", file, "--start", "2026-12-25 21:00:00", "--length", "1", "--file", "x"}, 2, "damaged");
  WriteFileBytes(file, "");
  ExpectRefused({"purge", file}, 2, "empty");
  // A FIFO without a writer is refused at once instead of blocking; a huge file unread.
  const std::string pipe = dir.File("p.yyk");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(::truncate(file.c_str(), off_t{1} << 40), 0);  // sparse
  for (const char* command : {"list", "settings", "purge"}) {
    for (const auto& [path, why] : {std::pair(pipe, "not a regular file"), std::pair(file, "larger than 64 MiB")}) {
      const auto result = RunCli({command, path});
      EXPECT_EQ(result.status, 2);
      EXPECT_THAT(result.err, HasSubstr(why));
    }
  }
  EXPECT_EQ(std::filesystem::file_size(file), std::uintmax_t{1} << 40);
  const auto missing = RunCli({"list", dir.File("none.yyk")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.err, HasSubstr("none.yyk"));
}

TEST_F(ScheduleCommands, AFileThatCannotBeWrittenFailsWithStatusOne) {
  const auto result = RunCli({"new", dir.File("no-such-dir/s.yyk")});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("no-such-dir/s.yyk"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-dir")));
}

TEST_F(ScheduleCommands, AChangeWaitsForAnotherWritersLockAndGivesUp) {
  const int other = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  ExpectRefused({"add", file, "--start", "2026-12-24 21:00:00", "--length", "1m", "--file", "x"}, 1,
                "another program is changing it");
  ::close(other);
  EXPECT_EQ(Add("2026-12-24 21:00:00", "1m").status, 0);
}

TEST_F(ScheduleCommands, LinksStayLinksAndTheirTargetChanges) {
  std::filesystem::create_symlink(file, dir.File("link.yyk"));
  ASSERT_EQ(
      RunCli({"add", dir.File("link.yyk"), "--start", "2026-12-24 21:00:00", "--length", "1m", "--file", "x"}).status,
      0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.yyk")));
  EXPECT_THAT(List(), HasSubstr(", x, "));
  std::filesystem::create_symlink("later.yyk", dir.File("dangling.yyk"));
  ASSERT_EQ(RunCli({"new", dir.File("dangling.yyk")}).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("dangling.yyk")));
  EXPECT_EQ(ReadFileBytes(dir.File("later.yyk")).size(), 28u);
  // The longest legal name can be saved: the scratch file's name is short.
  const std::string longest = dir.File(std::string(251, 'n') + ".yyk");
  EXPECT_EQ(RunCli({"new", longest}).status, 0);
  EXPECT_EQ(RunCli({"set", longest, "--fps", "2"}).status, 0);
}

TEST_F(ScheduleCommands, TextIsKeptExactlyAndListedOneLinePerReservation) {
  ASSERT_EQ(RunCli({"add", file, "--start", "2026-12-24 21:00:00", "--length", "1m", "--file", "/v/¥100.avi", "--title",
                    "〜−¥\nnext\x7F\u0085"})
                .status,
            0);
  ASSERT_EQ(RunCli({"--trace", "add", file, "--start", "2026-12-24 22:00:00", "--length", "1m", "--file", "x",
                    "--title", "--trace"})
                .status,
            0);
  EXPECT_EQ(List(),
            "2026/12/24(Thu) 21:00:00 ～ 2026/12/24(Thu) 21:01:00, /v/¥100.avi, 〜−¥\\x0Anext\\x7F\\u0085\n"
            "2026/12/24(Thu) 22:00:00 ～ 2026/12/24(Thu) 22:01:00, x, --trace\n");
  ExpectRefused({"add", file, "--start", "2026-12-25 21:00:00", "--length", "1m", "--file", "x", "--title", "\xFF"}, 2,
                "--title is not valid UTF-8");
  ExpectRefused({"edit", file, "0", "--file", "/v/\xC3"}, 2, "--file is not valid UTF-8");
  ExpectRefused({"add", file, "--start", " 2026-12-25 21:00:00", "--length", "1m", "--file", "x"}, 2, "--start");
  ExpectRefused({"add", file, "--start", "2026-12-25 21:00:00", "--length", "1m", "--file", "x", "--trace"}, 2,
                "--trace");
}

TEST_F(ScheduleCommands, UsageErrors) {
  EXPECT_EQ(RunCli({}).status, 2);
  EXPECT_EQ(RunCli({"--help"}).status, 0);
  EXPECT_THAT(RunCli({"--help"}).out, HasSubstr("tovalen-rec add FILE"));
  EXPECT_THAT(RunCli({"frobnicate"}).err, HasSubstr("unknown command"));
  EXPECT_EQ(RunCli({"list"}).status, 2);
  EXPECT_EQ(RunCli({"list", file, "extra"}).status, 2);
  // Anything else thrown is reported as a failure, not left to end the program.
  const auto odd = RunCli({"odd"}, {{"odd", "odd", [](const auto&, auto&) -> int { throw std::bad_alloc(); }}});
  EXPECT_EQ(odd.status, 1);
  EXPECT_THAT(odd.err, HasSubstr("tovalen-rec: std::bad_alloc"));
}

}  // namespace
}  // namespace tovalen
