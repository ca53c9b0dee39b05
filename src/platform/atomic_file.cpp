#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

#include "platform/file_beside_target.h"
#include "platform/posix_file.h"
#include "platform/system_error_text.h"

namespace tovalen {
namespace {

constexpr std::string_view kScratchPrefix = ".tovalen-";
constexpr std::size_t kScratchLetters = 6;

// Follows symbolic links from path to the name that is finally not a link (it may not exist).
std::string FinalTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4095) + 1);
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return path;
    const std::string target(link.data(), static_cast<std::size_t>(length));
    path = !target.empty() && target.front() == '/' ? target : FolderOf(path) + "/" + target;
  }
  throw FileError(DescribeFileFailure("cannot write", path, ELOOP));
}

FileIdentity IdentityOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size,
          static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

// The scratch file was made with the mode any new file gets; an existing target keeps its own.
bool KeepModeOf(const std::string& target, int fd) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) != 0) return true;
  return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

}  // namespace

std::string DescribeFileFailure(std::string_view what, const std::string& path, int error_number) {
  return DescribeSystemError(std::string(what) + " " + path, error_number);
}

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return IdentityOf(info);
}

bool ChangedOnDisk(const std::string& path, const FileIdentity& known) {
  const auto current = IdentifyFile(path);
  return current && *current != known;
}

FileIdentity WriteFileAtomically(const std::string& path, std::string_view bytes) {
  // Writing beside the final target keeps a link in place; the short scratch name fits
  // wherever the target's own name does.
  const std::string target = FinalTarget(path);
  FileBesideTarget scratch(FolderOf(target) + "/" + std::string(kScratchPrefix), "");
  auto fail = [&](int error_number) { throw FileError(DescribeFileFailure("cannot write", path, error_number)); };
  if (!scratch.Valid()) fail(errno);
  if (!KeepModeOf(target, scratch.Fd())) fail(errno);
  if (!WriteAll(scratch.Fd(), bytes.data(), bytes.size())) fail(errno);
  if (::fsync(scratch.Fd()) != 0) fail(errno);
  struct stat written {};
  if (::fstat(scratch.Fd(), &written) != 0) fail(errno);
  if (!scratch.Close()) fail(errno);
  if (!scratch.ReplaceTarget(target)) fail(errno);
  return IdentityOf(written);
}

bool IsAtomicSaveScratchName(std::string_view name) {
  if (name.size() != kScratchPrefix.size() + kScratchLetters || !name.starts_with(kScratchPrefix)) return false;
  return std::all_of(name.begin() + kScratchPrefix.size(), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

std::string ReadWholeFile(const std::string& path, std::size_t max_bytes) {
  // Non-blocking, so that opening a FIFO without a writer returns at once and is refused.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) throw FileError(DescribeFileFailure("cannot open", path, errno));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw FileError(DescribeFileFailure("cannot read", path, errno));
  if (!S_ISREG(info.st_mode)) throw FileError("cannot open " + path + ": not a regular file");
  const auto too_large = [&] {
    constexpr std::size_t kMiB = 1024 * 1024;
    const std::string limit =
        max_bytes % kMiB == 0 ? std::to_string(max_bytes / kMiB) + " MiB" : std::to_string(max_bytes) + " bytes";
    return FileError("cannot open " + path + ": the file is larger than " + limit);
  };
  if (static_cast<std::uintmax_t>(info.st_size) > max_bytes) throw too_large();
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = RetryOnInterrupt([&] { return ::read(fd.get(), buffer, sizeof buffer); });
    if (got < 0) throw FileError(DescribeFileFailure("cannot read", path, errno));
    if (got == 0) break;
    // The file may grow while it is read.
    if (static_cast<std::size_t>(got) > max_bytes - content.size()) throw too_large();
    content.append(buffer, static_cast<std::size_t>(got));
  }
  return content;
}

}  // namespace tovalen
