#pragma once

#include <cstdint>
#include <string>

namespace tovalen::cli {

// Each parser throws UsageError with a message naming the option and the expected form.

// "YYYY-MM-DD HH:MM:SS" in local time, as seconds since the epoch (may lie past 2038).
std::int64_t ParseTimeOption(const std::string& option, const std::string& text);

// A positive length: seconds, or a number with the unit s, m or h.
std::int64_t ParseLengthOption(const std::string& option, const std::string& text);

// A decimal integer between low and high inclusive.
int ParseIntOption(const std::string& option, const std::string& text, int low, int high);

// Text to be stored (a title or a recording path): it must be valid UTF-8.
std::string ParseTextOption(const std::string& option, const std::string& text);

// "on" or "off".
bool ParseOnOffOption(const std::string& option, const std::string& text);

}  // namespace tovalen::cli
