#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovalen {

// What tells one version of a file from another without reading it: a save that renames a new
// file over the path changes the inode, a write in place the modification time or the size.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;

  bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path (links followed), or nothing when it cannot be examined.
std::optional<FileStamp> StampOf(const std::string& path);

}  // namespace tovalen
