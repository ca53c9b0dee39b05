#pragma once

#include <string>
#include <vector>

#include "platform/posix_file.h"

namespace tovalen::web {

// The folders the web may have recordings written into and read from. Every path is checked
// against their real paths: no "..", no symbolic link leading out, nothing elsewhere.
class AllowedFolders {
 public:
  // Each folder must exist; throws std::runtime_error naming one that does not.
  explicit AllowedFolders(const std::vector<std::string>& folders);

  // The absolute path a recording target given by the web stands for: a bare name goes into
  // the first folder. Throws ApiError (403 outside, 422 for a folder that does not exist).
  std::string ResolveTarget(const std::string& target) const;
  // Opens a recording for reading when it lies in one of the folders and is no link; throws
  // ApiError (403 outside, 404 when there is no such regular file).
  FileDescriptor OpenForDownload(const std::string& path) const;
  // Whether the real path of an existing file lies in one of the folders.
  bool Holds(const std::string& path) const;

  const std::vector<std::string>& Folders() const { return m_folders; }

 private:
  bool IsInside(const std::string& realPath) const;

  std::vector<std::string> m_folders;  // real paths
};

}  // namespace tovalen::web
