#include "capture/ffmpeg/ffmpeg_leftover_recovery.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "capture/ffmpeg/capture_file.h"
#include "capture/ffmpeg/recording_remux.h"
#include "platform/posix_file.h"

namespace tovalen::ffmpeg {
namespace {

constexpr int kMostRecoveredNames = 999;

// "<name>.avi", "<name> (recovered).avi", "<name> (recovered 2).avi"...
std::string Candidate(const std::string& target, int n) {
  if (n == 0) return target;
  const std::filesystem::path path(target);
  const std::string suffix = n == 1 ? " (recovered)" : " (recovered " + std::to_string(n) + ")";
  return (path.parent_path() / (path.stem().string() + suffix + path.extension().string())).string();
}

// Renames without replacing what is there; a hard link where the file system cannot do that.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

// Puts the scratch file at the first free name; that name, or empty with errno in `error`.
std::string PlaceAtFreeName(const std::string& scratch, const std::string& target, int& error) {
  for (int n = 0; n <= kMostRecoveredNames; ++n) {
    const std::string name = Candidate(target, n);
    error = RenameNoReplace(scratch, name);
    if (error == 0) return name;
    if (error != EEXIST) return "";
  }
  return "";
}

// Removes the scratch files "<prefix>XXXXXX.avi" whose recovery was killed: no one holds their lock.
void RemoveStaleScratchFiles(const std::string& prefix) {
  namespace fs = std::filesystem;
  const fs::path path(prefix);
  const std::string start = path.filename().string();
  std::error_code error;
  for (fs::directory_iterator it(FolderOf(prefix), error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() != start.size() + 10 || !name.starts_with(start) || !name.ends_with(".avi")) continue;
    const FileDescriptor file(::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.get() >= 0 && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0) ::unlink(it->path().c_str());
  }
}

LeftoverReport Failed(LeftoverReport report, const std::string& detail) {
  report.result = LeftoverReport::Result::kFailed;
  report.detail = detail;
  return report;
}

}  // namespace

std::vector<std::string> FfmpegLeftoverRecovery::FindLeftovers(const std::string& fileOrFolder) const {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<std::string> found;
  if (fs::is_regular_file(fs::symlink_status(fileOrFolder, error)) && !LeftoverTarget(fileOrFolder).empty()) {
    found.push_back(fileOrFolder);
  }
  if (!fs::is_directory(fs::status(fileOrFolder, error))) return found;
  for (fs::directory_iterator it(fileOrFolder, error), end; !error && it != end; it.increment(error)) {
    const std::string path = it->path().string();
    if (it->is_regular_file(error) && !it->is_symlink(error) && !LeftoverTarget(path).empty()) found.push_back(path);
  }
  std::sort(found.begin(), found.end());
  return found;
}

LeftoverReport FfmpegLeftoverRecovery::Recover(const std::string& leftover) {
  LeftoverReport report;
  report.leftover = leftover;
  const std::string target = LeftoverTarget(leftover);
  if (target.empty()) return Failed(report, "not named as a recording left by a capture");
  // Held to the end: another recovery passes over it, and a capture recording into it holds it.
  const FileDescriptor lock(::open(leftover.c_str(), O_RDONLY | O_CLOEXEC));
  if (lock.get() < 0) return Failed(report, std::strerror(errno));
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return Failed(report, std::strerror(errno));
    report.result = LeftoverReport::Result::kInUse;
    return report;
  }

  const std::string prefix = std::filesystem::path(target).replace_extension().string() + ".recovering-";
  RemoveStaleScratchFiles(prefix);
  ScratchFile scratch(prefix, ".avi");
  if (!scratch.Valid()) return Failed(report, "cannot write beside it: " + std::string(std::strerror(errno)));
  ::flock(scratch.Fd(), LOCK_EX);  // while it is written; a later recovery removes it if this one dies
  const RemuxResult copied = RemuxRecording(leftover, scratch.Fd());
  if (copied.frames == 0) {
    report.result = LeftoverReport::Result::kNoFrame;
    report.detail = copied.error;
    return report;
  }
  if (!copied.written) return Failed(report, copied.error);
  if (!scratch.Close()) return Failed(report, std::strerror(errno));

  int error = 0;
  report.recovered = PlaceAtFreeName(scratch.Path(), target, error);
  if (report.recovered.empty())
    return Failed(report, "cannot name the rebuilt file: " + std::string(std::strerror(error)));
  scratch.Keep();
  SyncFolderOf(report.recovered);
  if (::unlink(leftover.c_str()) != 0)
    return Failed(report, "rebuilt as " + report.recovered + ", but cannot be removed: " + std::strerror(errno));
  SyncFolderOf(leftover);
  report.result = LeftoverReport::Result::kRecovered;
  report.frames = copied.frames;
  report.seconds = copied.seconds;
  return report;
}

}  // namespace tovalen::ffmpeg
