#pragma once

#include <string>

#include "capture/ffmpeg/driver_result.h"
#include "platform/file_beside_target.h"

namespace tovalen::ffmpeg {

// The file a recovery writes its rebuilt recording into, in the target's folder. Where the file
// system can, it has no name until it is placed, so a recovery that is killed leaves nothing;
// elsewhere it is "<name>.recovering-XXXXXX.avi" (a stream copy's own extension for its target), marked as ours and
// locked while it is written.
class RecoveryScratch {
 public:
  // Fails with "cannot write beside it: ..." when no file can be made there.
  static Result<RecoveryScratch> Create(const std::string& target);

  int Fd() const { return m_file.Fd(); }
  // Gives the file the first free name of the target's ("<name>.avi", "<name> (recovered).avi",
  // ...), never replacing a file; that name, or "cannot name the rebuilt file: ...".
  Result<std::string> Place();

  // Removes the named scratch files of killed recoveries of the target: only those of exactly
  // our form, carrying our mark, that no one holds locked.
  static void RemoveStale(const std::string& target);

 private:
  RecoveryScratch(std::string target, FileBesideTarget file) : m_target(std::move(target)), m_file(std::move(file)) {}

  std::string m_target;
  FileBesideTarget m_file;
};

// Moves a file to the first free name of the target's, never replacing a file.
Result<std::string> RenameToFreeName(const std::string& from, const std::string& target);

}  // namespace tovalen::ffmpeg
