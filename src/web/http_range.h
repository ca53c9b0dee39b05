#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovalen::web {

// The bytes [first, first + length) of a file.
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t length = 0;
};

enum class RangeAnswer { kWhole, kPart, kUnsatisfiable };

struct RangeRequest {
  RangeAnswer answer = RangeAnswer::kWhole;
  ByteRange range;
};

// Reads a Range header for a file of `size` bytes: one range of bytes ("A-B", "A-", "-N").
// Anything else it cannot serve (other units, several ranges, a malformed header) gets the whole
// file, as HTTP allows; a range that starts beyond the end is unsatisfiable.
RangeRequest ParseRange(const std::optional<std::string>& header, std::uint64_t size);

}  // namespace tovalen::web
