#include "platform/atomic_file.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/file_beside_target.h"
#include "platform/file_lock.h"
#include "platform/posix_file.h"
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
  EXPECT_EQ(
      std::filesystem::status(path).permissions() & std::filesystem::perms::all,
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
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
  TempDir dir;
  const std::string path = dir.File("a.yyk");
  WriteFileBytes(path, "old");
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                               std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
  // Root writes anywhere, so the save runs as an ordinary user.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                             ::setresuid(65534, 65534, 65534) != 0)) {
      ::_exit(2);
    }
    try {
      WriteFileAtomically(path, "new");
    } catch (const FileError&) {
      ::_exit(0);
    }
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed save was not reported";
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
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

// Expects ReadWholeFile to refuse the file with a message holding `why`.
void ExpectUnreadable(const std::string& path, std::size_t max_bytes, const std::string& why) {
  try {
    ReadWholeFile(path, max_bytes);
    ADD_FAILURE() << path << " was read";
  } catch (const FileError& error) {
    EXPECT_NE(std::string(error.what()).find(why), std::string::npos) << error.what();
  }
}

TEST(AtomicFile, ReadingRefusesAnythingButARegularFileWithinTheLimit) {
  TempDir dir;
  ExpectUnreadable(dir.File("missing"), 100, "missing");
  ExpectUnreadable(dir.Path().string(), 100, "not a regular file");
  // A FIFO without a writer would block a plain open for ever.
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
  ExpectUnreadable(dir.File("pipe"), 100, "not a regular file");
  ExpectUnreadable("/dev/zero", 100, "not a regular file");

  const std::string path = dir.File("big");
  WriteFileBytes(path, "abc");
  EXPECT_EQ(ReadWholeFile(path, 3), "abc");
  ExpectUnreadable(path, 2, "larger than 2 bytes");
  ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 40), 0);  // sparse: nothing is written
  ExpectUnreadable(path, 64 << 20, "larger than 64 MiB");
}

TEST(AtomicFile, SavingThroughLinksChangesTheFinalTargetAndKeepsTheLinks) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "real");
  const std::string target = dir.File("real/s.yyk");
  WriteFileBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  std::filesystem::create_symlink("real/s.yyk", dir.Path() / "link1");
  std::filesystem::create_symlink(dir.File("link1"), dir.Path() / "link2");
  WriteFileAtomically(dir.File("link2"), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "link1"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "link2"));
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_EQ(
      std::filesystem::status(target).permissions() & std::filesystem::perms::all,
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "real"), {}), 1);

  // A dangling link gets its target made.
  std::filesystem::create_symlink("real/later.yyk", dir.Path() / "dangling");
  WriteFileAtomically(dir.File("dangling"), "made");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "dangling"));
  EXPECT_EQ(ReadFileBytes(dir.File("real/later.yyk")), "made");
}

TEST(AtomicFile, TheLongestNamesCanBeSavedAndTheWrittenFileIsIdentified) {
  TempDir dir;
  for (std::size_t length : {249u, 255u}) {
    const std::string path = dir.File(std::string(length - 4, 'n') + ".yyk");
    const FileIdentity written = WriteFileAtomically(path, "x");
    EXPECT_EQ(ReadFileBytes(path), "x");
    EXPECT_EQ(IdentifyFile(path), written);
    EXPECT_FALSE(ChangedOnDisk(path, written));
    WriteFileAtomically(path, "y");
    EXPECT_TRUE(ChangedOnDisk(path, written));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
  EXPECT_FALSE(IdentifyFile(dir.File("missing")).has_value());
  EXPECT_FALSE(ChangedOnDisk(dir.File("missing"), FileIdentity{}));
}

TEST(FileBesideTarget, TakesTheFirstFreeNameWithoutReplacingAndLeavesNothingUnplaced) {
  TempDir dir;
  const auto numbered = [&dir](int n) { return dir.File("t" + std::to_string(n)); };
  WriteFileBytes(numbered(0), "taken");
  std::string unplaced;
  {
    FileBesideTarget named(dir.File("t."), ".part");
    ASSERT_TRUE(named.Valid());
    ASSERT_TRUE(WriteAll(named.Fd(), "named", 5));
    EXPECT_EQ(named.TakeFreeName(numbered, 3), numbered(1));
    FileBesideTarget nameless = FileBesideTarget::NamelessIn(dir.Path().string(), dir.File("t."), ".part");
    ASSERT_TRUE(WriteAll(nameless.Fd(), "nameless", 8));
    EXPECT_EQ(nameless.TakeFreeName(numbered, 3), numbered(2));
    FileBesideTarget last(dir.File("t."), ".part");
    unplaced = last.Path();
    EXPECT_EQ(last.TakeFreeName(numbered, 2), "");
    EXPECT_EQ(errno, EEXIST);
  }
  EXPECT_EQ(ReadFileBytes(numbered(0)), "taken");
  EXPECT_EQ(ReadFileBytes(numbered(1)), "named");
  EXPECT_EQ(ReadFileBytes(numbered(2)), "nameless");
  EXPECT_FALSE(std::filesystem::exists(unplaced));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

std::atomic<int> g_signalsHandled{0};
void CountSignal(int) { g_signalsHandled.fetch_add(1); }

// Whether the thread sleeps inside write(2) now ("running" while it runs).
bool SleepsInWrite(pid_t thread) {
  std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
  long number = -1;
  return file >> number && number == SYS_write;
}

TEST(PosixFile, NamesFoldersAndWritesWholeThroughAnInterruptAndAShortWrite) {
  EXPECT_EQ(FolderOf("x"), ".");
  EXPECT_EQ(FolderOf("/x"), "/");
  EXPECT_EQ(FolderOf("a/b"), "a");
  EXPECT_EQ(FolderOf("/a//b"), "/a");

  // Without SA_RESTART a write sleeping on a full pipe fails with EINTR when nothing went in,
  // and returns short when some did.
  struct sigaction counting {};
  struct sigaction previous {};
  g_signalsHandled = 0;
  counting.sa_handler = CountSignal;
  sigemptyset(&counting.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR1, &counting, &previous), 0);
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  FileDescriptor readEnd(fds[0]);
  FileDescriptor writeEnd(fds[1]);
  ::fcntl(writeEnd.get(), F_SETFL, O_NONBLOCK);
  std::string expected;
  for (std::size_t chunk = 4096; chunk > 0; chunk /= 2) {
    const std::string filler(chunk, 'f');
    while (::write(writeEnd.get(), filler.data(), chunk) > 0) expected += filler;
  }
  ::fcntl(writeEnd.get(), F_SETFL, 0);
  const std::size_t full = expected.size();
  std::string sent(1 << 20, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 251);
  expected += sent;

  std::atomic<pid_t> thread{0};
  std::atomic<bool> done{false};
  bool wrote = false;
  std::thread writer([&] {
    thread = ::gettid();
    wrote = WriteAll(writeEnd.get(), sent.data(), sent.size());
    writeEnd.Close();
    done = true;
  });
  // Each wait ends early when the writer gave up, so a fault fails below instead of hanging.
  const auto waitFor = [&](auto condition) {
    while (!done && !condition()) std::this_thread::yield();
  };
  waitFor([&] { return thread != 0 && SleepsInWrite(thread); });
  ::pthread_kill(writer.native_handle(), SIGUSR1);
  waitFor([&] { return g_signalsHandled == 1; });
  std::string received(4096, '\0');
  received.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(readEnd.get(), received.data(), 4096))));
  waitFor([&] {
    int queued = 0;
    return ::ioctl(readEnd.get(), FIONREAD, &queued) == 0 && static_cast<std::size_t>(queued) == full &&
           SleepsInWrite(thread);
  });
  ::pthread_kill(writer.native_handle(), SIGUSR1);
  waitFor([&] { return g_signalsHandled == 2; });
  char buffer[65536];
  for (ssize_t got; (got = ::read(readEnd.get(), buffer, sizeof buffer)) > 0;) {
    received.append(buffer, static_cast<std::size_t>(got));
  }
  writer.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_TRUE(wrote);
  EXPECT_EQ(g_signalsHandled, 2);
  EXPECT_TRUE(received == expected) << received.size() << " of " << expected.size() << " bytes arrived";
}

TEST(FileLockTest, ASecondLockWaitsForTheFirstAndAMissingFileLocksNothing) {
  TempDir dir;
  const std::string path = dir.File("s.yyk");
  EXPECT_FALSE(FileLock(path, std::chrono::milliseconds(0)).Holds());
  WriteFileBytes(path, "x");
  {
    const FileLock first(path, std::chrono::milliseconds(0));
    EXPECT_TRUE(first.Holds());
    EXPECT_THROW(FileLock(path, std::chrono::milliseconds(50)), FileError);
  }
  EXPECT_TRUE(FileLock(path, std::chrono::milliseconds(0)).Holds());
}

}  // namespace
}  // namespace tovalen
