#pragma once

#include <sys/types.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tovalen {

// A file could not be read or written; what() is a complete sentence naming the path.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Which file a path names and the state of its content: a save that renames a new file over
// it, or a write into it, changes the identity.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at path (through symbolic links), or nothing when there is none.
std::optional<FileIdentity> IdentifyFile(const std::string& path);

// Whether the file at path is no longer the one known: another program saved over it or wrote
// into it since. A file that is gone holds nothing to lose, so it has not changed.
bool ChangedOnDisk(const std::string& path, const FileIdentity& known);

// Writes the bytes to a new file beside path's final target (through symbolic links, which
// stay), flushes it to disk and renames it over that target, so the previous file stays whole
// if anything fails. Returns the identity of the file written. Throws FileError.
FileIdentity WriteFileAtomically(const std::string& path, std::string_view bytes);

// Whether a file name has the form of the scratch file WriteFileAtomically writes beside its
// target (".tovalen-" and six letters or digits): whatever is saved under such a name may be
// renamed over that target.
bool IsAtomicSaveScratchName(std::string_view name);

// The whole content of a regular file of at most max_bytes. A FIFO or a device is refused
// without blocking, a larger file before anything is read. Throws FileError.
std::string ReadWholeFile(const std::string& path, std::size_t max_bytes = std::numeric_limits<std::size_t>::max());

// "<what> <path>: <reason from errno>"
std::string DescribeFileFailure(std::string_view what, const std::string& path, int error_number);

}  // namespace tovalen
