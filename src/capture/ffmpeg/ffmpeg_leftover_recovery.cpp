#include "capture/ffmpeg/ffmpeg_leftover_recovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>

#include "capture/ffmpeg/avi_read_back.h"
#include "capture/ffmpeg/capture_file.h"
#include "capture/ffmpeg/recording_remux.h"
#include "capture/ffmpeg/recovery_scratch.h"
#include "capture/ffmpeg/stream_copy_container.h"
#include "capture/ffmpeg/stream_copy_recovery.h"
#include "platform/posix_file.h"
#include "platform/system_error_text.h"

namespace tovalen::ffmpeg {
namespace {

LeftoverReport Failed(LeftoverReport report, const std::string& detail) {
  report.result = LeftoverReport::Result::kFailed;
  report.detail = detail;
  return report;
}

// Fails with why the file does not read back as what was copied into it.
Result<> ReadsBackAs(int fd, const RemuxedRecording& copied) {
  const auto back = ReadBackAvi(fd);
  if (!back) return back.Error();
  if (back->decodeErrors > 0)
    return DriverError{.detail = std::to_string(back->decodeErrors) + " frames do not decode"};
  if (back->frames != copied.frames || back->audioBytes != copied.audioBytes) {
    return DriverError{.detail = std::to_string(back->frames) + " frames and " + std::to_string(back->audioBytes) +
                                 " bytes of sound read, not " + std::to_string(copied.frames) + " and " +
                                 std::to_string(copied.audioBytes)};
  }
  return {};
}

void SetCounts(LeftoverReport& report, const RemuxedRecording& copied) {
  report.frames = copied.frames;
  report.seconds = copied.seconds;
}

// A capture that ended on a full disk finished its file but could not move it: it stands as it
// is, under its target's name, without a copy that may not fit.
bool PlaceFinished(int leftoverFd, LeftoverReport& report, const std::string& target) {
  const auto whole = RemuxRecording(leftoverFd, -1);
  if (!whole || !whole->sourceFinished || whole->frames == 0 || !ReadsBackAs(leftoverFd, *whole)) return false;
  const auto placed = RenameToFreeName(report.leftover, target);
  if (!placed) return false;
  report.recovered = *placed;
  SyncFolderOf(report.recovered);
  SyncFolderOf(report.leftover);
  report.result = LeftoverReport::Result::kRecovered;
  SetCounts(report, *whole);
  return true;
}

// A leftover rebuilt in part is kept with a note of where, so that the next recovery reports
// that file instead of making another copy of it.
constexpr char kPartlyRebuiltAs[] = "user.tovalen.partly-recovered-as";

void NotePartlyRebuilt(int leftoverFd, const LeftoverReport& report) {
  std::ostringstream note;
  note << report.frames << '\n' << report.seconds << '\n' << report.recovered << '\n' << report.detail;
  const std::string text = note.str();
  ::fsetxattr(leftoverFd, kPartlyRebuiltAs, text.data(), text.size(), 0);  // without it: a copy next time
}

bool FindPartlyRebuilt(int leftoverFd, LeftoverReport& report) {
  std::string text(8192, '\0');
  const ssize_t size = ::fgetxattr(leftoverFd, kPartlyRebuiltAs, text.data(), text.size());
  if (size <= 0) return false;
  text.resize(static_cast<std::size_t>(size));
  std::istringstream note(text);
  LeftoverReport noted = report;
  note >> noted.frames >> noted.seconds;
  note.ignore(1);
  if (!note || !std::getline(note, noted.recovered) || !std::filesystem::exists(noted.recovered)) return false;
  std::getline(note, noted.detail, '\0');
  noted.result = LeftoverReport::Result::kPartial;
  report = noted;
  return true;
}

// A stream's copy, in its own container.
LeftoverReport RebuildCopy(int leftoverFd, LeftoverReport report, const std::string& target,
                           const ContainerFormat& container) {
  if (FindPartlyRebuilt(leftoverFd, report)) return report;
  report = RecoverCopy(leftoverFd, std::move(report), target, container);
  if (report.result == LeftoverReport::Result::kPartial) NotePartlyRebuilt(leftoverFd, report);
  return report;
}

LeftoverReport Rebuild(int leftoverFd, LeftoverReport report, const std::string& target) {
  if (FindPartlyRebuilt(leftoverFd, report)) return report;
  RecoveryScratch::RemoveStale(target);
  auto scratch = RecoveryScratch::Create(target);
  if (!scratch) return Failed(report, scratch.Error().detail);
  const auto remuxed = RemuxRecording(leftoverFd, scratch->Fd());
  if (!remuxed) return Failed(report, remuxed.Error().detail);
  const RemuxedRecording& copied = *remuxed;
  if (copied.frames == 0 && copied.audioBytes == 0) {
    report.result = LeftoverReport::Result::kNoFrame;
    return report;
  }
  if (const auto readBack = ReadsBackAs(scratch->Fd(), copied); !readBack)
    return Failed(report, "the rebuilt file does not read back: " + readBack.Error().detail);
  const auto placed = scratch->Place();
  if (!placed) return Failed(report, placed.Error().detail);
  report.recovered = *placed;
  SetCounts(report, copied);
  if (!copied.lost.empty()) {
    report.result = LeftoverReport::Result::kPartial;
    report.detail = copied.lost;
    NotePartlyRebuilt(leftoverFd, report);
    return report;
  }
  if (::unlink(report.leftover.c_str()) != 0)
    return Failed(report, DescribeSystemError("rebuilt as " + report.recovered + ", but cannot be removed", errno));
  SyncFolderOf(report.leftover);
  report.result = LeftoverReport::Result::kRecovered;
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
  const FileDescriptor lock(::open(leftover.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (lock.get() < 0) return Failed(report, SystemErrorText(errno));
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return Failed(report, SystemErrorText(errno));
    report.result = LeftoverReport::Result::kInUse;
    return report;
  }
  struct stat info {};
  if (::fstat(lock.get(), &info) != 0 || !S_ISREG(info.st_mode)) return Failed(report, "not a regular file");
  if (const auto container = CopyContainerFor(leftover))
    return RebuildCopy(lock.get(), std::move(report), target, *container);
  if (LooksFinished(lock.get()) && PlaceFinished(lock.get(), report, target)) return report;
  return Rebuild(lock.get(), std::move(report), target);
}

}  // namespace tovalen::ffmpeg
