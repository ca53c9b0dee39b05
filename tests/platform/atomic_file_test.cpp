#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>

#include "platform/atomic_file.h"
#include "support/temp_dir.h"

namespace tovalen {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

TEST(AtomicFile, ReplacesTheTargetAndLeavesNoScratchFile) {
  TempDir dir;
  const std::string path = dir.File("a.yyk");
  WriteFileBytes(path, "old");
  ::chmod(path.c_str(), 0640);
  WriteFileAtomically(path, std::string("new\0bytes", 9));
  EXPECT_EQ(ReadFileBytes(path), std::string("new\0bytes", 9));
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  EXPECT_EQ(ReadWholeFile(path), std::string("new\0bytes", 9));
}

TEST(AtomicFile, MissingDirectoryIsReportedWithThePath) {
  TempDir dir;
  const std::string path = dir.File("no/such/dir/a.yyk");
  try {
    WriteFileAtomically(path, "x");
    FAIL() << "expected FileError";
  } catch (const FileError& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
  }
}

TEST(AtomicFile, UnwritableDirectoryKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  TempDir dir;
  const std::string path = dir.File("a.yyk");
  WriteFileBytes(path, "old");
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_THROW(WriteFileAtomically(path, "new"), FileError);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadFileBytes(path), "old");
}

TEST(AtomicFile, ShortWriteKeepsTheOldFileAndRemovesTheScratchFile) {
  TempDir dir;
  const std::string path = dir.File("a.yyk");
  WriteFileBytes(path, "old");
  // The file-size limit makes the write fail part-way, as a full disk would.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{10, 10};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      WriteFileAtomically(path, std::string(100, 'x'));
    } catch (const FileError&) {
      ::_exit(0);
    }
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the short write was not reported";
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(AtomicFile, ReadingMissingFileOrDirectoryFails) {
  TempDir dir;
  EXPECT_THROW(ReadWholeFile(dir.File("missing")), FileError);
  EXPECT_THROW(ReadWholeFile(dir.Path().string()), FileError);
}

}  // namespace
}  // namespace tovalen
