#pragma once

#include <functional>
#include <string>

#include "platform/posix_file.h"

namespace tovalen {

// A new file written in the folder of the target it is made for and moved onto the target only
// when it is whole: the target is then either what it was or all of the new file, and the move
// is a rename. The file is removed when the object goes, unless it was placed or kept.
class FileBesideTarget {
 public:
  // "<prefix>XXXXXX<suffix>", the prefix naming a place in the target's folder. Valid() is then
  // false with errno set when it could not be made.
  FileBesideTarget(const std::string& prefix, const std::string& suffix);
  // A file without a name in `folder` where the file system can make one, so that a process
  // killed while writing leaves nothing; elsewhere named as above.
  static FileBesideTarget NamelessIn(const std::string& folder, const std::string& prefix, const std::string& suffix);
  ~FileBesideTarget();
  FileBesideTarget(FileBesideTarget&& other) noexcept;
  FileBesideTarget& operator=(FileBesideTarget&& other) = delete;
  FileBesideTarget(const FileBesideTarget&) = delete;
  FileBesideTarget& operator=(const FileBesideTarget&) = delete;

  bool Valid() const { return m_made; }
  int Fd() const { return m_fd.get(); }
  // Where the file is: its own name, the target once placed; empty while it has no name.
  const std::string& Path() const { return m_path; }
  // Closes the descriptor; false when the close reported a delayed write error.
  bool Close();
  // From now on the file stays under its own name whatever happens.
  void Keep() { m_remove = false; }
  // Deletes the named file now; false with errno set when it could not be deleted.
  bool Remove();

  // Puts the named file at the target, replacing what is there: a rename, or where the target
  // is on another file system a copy written beside it and renamed over it. False with errno
  // set; the file then stays where it was.
  bool ReplaceTarget(const std::string& target);
  // Gives the file the first of `nameNumbered(0)` ... `nameNumbered(most)` that is free, never
  // replacing a file. That name, or empty with errno set.
  std::string TakeFreeName(const std::function<std::string(int)>& nameNumbered, int most);

 private:
  FileBesideTarget() = default;

  bool m_made = false;
  bool m_remove = true;
  std::string m_path;  // made before m_fd, which fills it
  FileDescriptor m_fd;
};

// Moves an existing file to the first free name as FileBesideTarget::TakeFreeName does.
std::string RenameToFreeName(const std::string& from, const std::function<std::string(int)>& nameNumbered, int most);

// Copies a file to a new file beside the target and renames it over the target, so the target is
// either the old file or the whole copy. False with errno set.
bool CopyOver(const std::string& source, const std::string& target);

}  // namespace tovalen
