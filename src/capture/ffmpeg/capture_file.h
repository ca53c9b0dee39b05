#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

  int Fd() const { return m_fd; }
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
  bool Saved() const { return m_saved; }

 private:
  CaptureFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}

  int m_fd = -1;
  std::string m_path;
  bool m_recorded = false;
  bool m_saved = false;
};

// Copies a file to a new file beside the target and renames it over the target, so the target
// is either the old file or the whole copy. False with errno in `error`.
bool CopyOver(const std::string& source, const std::string& target, int& error);

}  // namespace tovalen::ffmpeg
