#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix_file.h"

namespace tovalen::ffmpeg {

// The file a capture records into. It is made beside the target (same folder, so the final
// move is a rename) under its own name, and reaches the target only through SaveAs: a file
// already at the target survives any capture that fails. Once something was recorded into it
// the file is never deleted; until then the object removes it when it goes.
class CaptureFile {
 public:
  // "<folder>/<name>.recording-XXXXXX.avi" beside the target; null with errno in `error`.
  static std::unique_ptr<CaptureFile> CreateBeside(const std::string& target, int& error);
  ~CaptureFile();
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  int Fd() const { return m_fd.get(); }
  // An exclusive flock is held on the file for the object's lifetime, also after Close: a
  // recovery of leftovers passes over a file whose lock is held. The lock goes with the process.
  const std::string& Path() const { return m_path; }

  // Reserves the space on disk without changing the file's size (the writer cuts the file to
  // what it wrote at the end); false with errno in `error` when the space is not there.
  bool Preallocate(std::uint64_t bytes, int& error);
  // From now on the file is kept whatever happens.
  void MarkRecorded() { m_recorded = true; }
  bool Recorded() const { return m_recorded; }
  // Closes the descriptor; false when the close reported a delayed write error.
  bool Close();

  // Puts the recording at the target, replacing what is there: a rename the first time (a copy
  // when the target is on another file system), a copy when it was saved already. The file
  // must be closed. False with errno in `error`; the recording then stays where it was.
  bool SaveAs(const std::string& target, int& error);

 private:
  CaptureFile(FileDescriptor fd, FileDescriptor lock, std::string path)
      : m_fd(std::move(fd)), m_lock(std::move(lock)), m_path(std::move(path)) {}

  FileDescriptor m_fd;
  FileDescriptor m_lock;  // a duplicate of the descriptor, keeping its flock
  std::string m_path;
  bool m_recorded = false;
  bool m_saved = false;
};

// The target a capture file made by CreateBeside stands for, "<folder>/<name>.avi" (the name
// cannot tell the target's own extension); empty when the path is not named like one.
std::string LeftoverTarget(const std::string& path);

// Copies a file to a new file beside the target and renames it over the target, so the target
// is either the old file or the whole copy. False with errno in `error`.
bool CopyOver(const std::string& source, const std::string& target, int& error);

}  // namespace tovalen::ffmpeg
