#include "capture/spin_up_hdd.h"

#include <gmock/gmock.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "platform/clock.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using ::testing::EndsWith;

// Files beyond the limit cannot grow in this process while the object lives; writing past it
// fails with EFBIG instead of raising SIGXFSZ.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_previous);
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_previous;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_previous);
    std::signal(SIGXFSZ, m_previousHandler);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  rlimit m_previous{};
  void (*m_previousHandler)(int) = nullptr;
};

std::size_t EntriesIn(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(SpinUpHDD, ProvesTheFolderWritableAndLeavesNothingBehind) {
  ScopedFakeClock clock(1709649000);
  TempDir dir;
  TraceCapture trace;
  EXPECT_TRUE(SpinUpHDD(dir.File("new.avi")));
  EXPECT_EQ(EntriesIn(dir.Path()), 0u);
  EXPECT_EQ(trace.Text(), "D: entering SpinUpHDD() 2024 年 03 月 05 日(Tuesday) 14時 30分 00秒\n\t" +
                              dir.File("new.avi") + "\nD: SpinUpHDD() success\n");
  EXPECT_EQ(trace.Pieces().size(), 4u);
}

TEST(SpinUpHDD, AnExistingFileAtTheTargetSurvives) {
  TempDir dir;
  const std::string target = dir.File("old.avi");
  WriteFileBytes(target, "recorded last week");
  EXPECT_TRUE(SpinUpHDD(target));
  EXPECT_EQ(ReadFileBytes(target), "recorded last week");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(SpinUpHDD, FolderThatDoesNotExist) {
  TempDir dir;
  TraceCapture trace;
  EXPECT_FALSE(SpinUpHDD(dir.File("missing/a.avi")));
  EXPECT_FALSE(SpinUpHDD(""));
  EXPECT_THAT(trace.Text(), EndsWith("E: SpinUpHDD() fopen() failed\n"));
  EXPECT_EQ(EntriesIn(dir.Path()), 0u);
}

TEST(SpinUpHDD, AFolderAtTheTargetFailsAtOnceAndStays) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  TraceCapture trace;
  EXPECT_FALSE(SpinUpHDD(dir.File("sub")));
  EXPECT_THAT(trace.Text(), EndsWith("\nE: SpinUpHDD() fopen() failed\n"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(SpinUpHDD, AShortWriteFailsAndKeepsTheTarget) {
  TempDir dir;
  const std::string target = dir.File("old.avi");
  WriteFileBytes(target, "keep me");
  TraceCapture trace;
  bool result = true;
  {
    ScopedFileSizeLimit limit(512 * 1024);
    result = SpinUpHDD(target);
  }
  EXPECT_FALSE(result);
  EXPECT_THAT(trace.Text(), EndsWith("E: SpinUpHdd() fwrite() failed\n"));
  EXPECT_EQ(ReadFileBytes(target), "keep me");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);  // the partial probe is gone
}

}  // namespace
}  // namespace tovalen::testing
