#pragma once

#include <string>

#include "platform/posix_file.h"

namespace tovalen::ffmpeg {

// The file a recovery writes its rebuilt recording into, in the target's folder. Where the file
// system can, it has no name until it is placed, so a recovery that is killed leaves nothing;
// elsewhere it is "<name>.recovering-XXXXXX.avi", marked as ours and locked while it is written.
class RecoveryScratch {
 public:
  explicit RecoveryScratch(const std::string& target);
  ~RecoveryScratch();
  RecoveryScratch(const RecoveryScratch&) = delete;
  RecoveryScratch& operator=(const RecoveryScratch&) = delete;

  bool Valid() const { return m_fd.get() >= 0; }
  int Fd() const { return m_fd.get(); }
  // Gives the file the first free name of the target's ("<name>.avi", "<name> (recovered).avi",
  // ...), never replacing a file; that name, or empty with errno in `error`.
  std::string Place(int& error);

  // Removes the named scratch files of killed recoveries of the target: only those of exactly
  // our form, carrying our mark, that no one holds locked.
  static void RemoveStale(const std::string& target);

 private:
  std::string m_target;
  std::string m_path;  // empty while the file has no name, and once placed
  FileDescriptor m_fd;
};

// Moves a file to the first free name of the target's, never replacing a file.
std::string RenameToFreeName(const std::string& from, const std::string& target, int& error);

}  // namespace tovalen::ffmpeg
