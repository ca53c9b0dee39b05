#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "capture/ffmpeg/driver_result.h"
#include "platform/file_beside_target.h"
#include "platform/posix_file.h"

namespace tovalen::ffmpeg {

// The file a capture records into. It is made beside the target (same folder, so the final
// move is a rename) under its own name, and reaches the target only through SaveAs: a file
// already at the target survives any capture that fails. Once something was recorded into it
// the file is never deleted; until then the object removes it when it goes.
class CaptureFile {
 public:
  // "<folder>/<name>.recording-XXXXXX.avi" beside the target; a stream copied into a target
  // ending in .ts, .mkv or .mp4 keeps that extension instead.
  static Result<std::unique_ptr<CaptureFile>> CreateBeside(const std::string& target);
  ~CaptureFile();
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  int Fd() const { return m_file.Fd(); }
  // An exclusive flock is held on the file for the object's lifetime, also after Close: a
  // recovery of leftovers passes over a file whose lock is held. The lock goes with the process.
  const std::string& Path() const { return m_file.Path(); }

  // Reserves the space on disk without changing the file's size (the writer cuts the file to
  // what it wrote at the end); fails when the space is not there.
  Result<> Preallocate(std::uint64_t bytes);
  // From now on the file is kept whatever happens.
  void MarkRecorded();
  bool Recorded() const { return m_recorded; }
  // Closes the descriptor; false when the close reported a delayed write error.
  bool Close();

  // Puts the recording at the target, replacing what is there: a rename the first time (a copy
  // when the target is on another file system), a copy when it was saved already. The file
  // must be closed. On failure ("cannot save as <target>: ...") the recording stays where it was.
  Result<> SaveAs(const std::string& target);

 private:
  CaptureFile(FileBesideTarget file, FileDescriptor lock) : m_lock(std::move(lock)), m_file(std::move(file)) {}

  FileDescriptor m_lock;  // a duplicate of the descriptor, keeping its flock until the file is removed
  FileBesideTarget m_file;
  bool m_recorded = false;
  bool m_saved = false;
};

// "cannot save <from> as <to>: <the system's text>", the trace's words for a failed SaveAs.
std::string DescribeSaveFailure(const std::string& from, const std::string& to, const DriverError& error);

// The target a capture file made by CreateBeside stands for, "<folder>/<name>.avi" (the name
// cannot tell an encoded target's own extension) or a copy's "<folder>/<name>.ts" (.mkv, .mp4);
// empty when the path is not named like one.
std::string LeftoverTarget(const std::string& path);

}  // namespace tovalen::ffmpeg
