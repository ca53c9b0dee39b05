#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovalen::web {

// "YYYY-MM-DDTHH:MM:SS" in local time; empty when the time cannot be converted.
std::string FormatWebTime(std::int64_t seconds);
// Exactly that form, a real local date and time; nothing otherwise.
std::optional<std::int64_t> ParseWebTime(const std::string& text);

}  // namespace tovalen::web
