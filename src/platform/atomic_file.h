#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tovalen {

// A file could not be read or written; what() is a complete sentence naming the path.
class FileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Writes the bytes to a new file beside path, flushes it to disk and renames it over path,
// so the previous file stays whole if anything fails. Throws FileError.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of a file. Throws FileError.
std::string ReadWholeFile(const std::string& path);

// "<what> <path>: <reason from errno>"
std::string DescribeFileFailure(std::string_view what, const std::string& path, int error_number);

}  // namespace tovalen
