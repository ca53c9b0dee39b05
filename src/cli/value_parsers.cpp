#include "cli/value_parsers.h"

#include <charconv>

#include "cli/command_line.h"
#include "platform/cp932.h"
#include "platform/local_time.h"

namespace tovalen::cli {
namespace {

bool ParseWhole(std::string_view text, std::int64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::int64_t ParseTimeOption(const std::string& option, const std::string& text) {
  const auto seconds = ParseLocalTime(text);
  if (!seconds) throw UsageError("--" + option + " \"" + text + "\" is not a date and time like 2026-12-24 21:00:00");
  return *seconds;
}

std::int64_t ParseLengthOption(const std::string& option, const std::string& text) {
  std::string_view digits = text;
  std::int64_t unit = 1;
  if (!digits.empty()) {
    switch (digits.back()) {
      case 's':
        unit = 1;
        digits.remove_suffix(1);
        break;
      case 'm':
        unit = 60;
        digits.remove_suffix(1);
        break;
      case 'h':
        unit = 3600;
        digits.remove_suffix(1);
        break;
      default:
        break;
    }
  }
  std::int64_t count = 0;
  // The limit keeps the product far inside 64 bits; the 2038 check refuses long spans later.
  if (!ParseWhole(digits, count) || count <= 0 || count > (std::int64_t{1} << 40)) {
    throw UsageError("--" + option + " \"" + text + "\" is not a positive length like 90, 90s, 30m or 2h");
  }
  return count * unit;
}

int ParseIntOption(const std::string& option, const std::string& text, int low, int high) {
  std::int64_t value = 0;
  if (!ParseWhole(text, value) || value < low || value > high) {
    throw UsageError(option + " \"" + text + "\" must be a number from " + std::to_string(low) + " to " +
                     std::to_string(high));
  }
  return static_cast<int>(value);
}

std::string ParseTextOption(const std::string& option, const std::string& text) {
  if (!IsValidUtf8(text)) throw UsageError("--" + option + " is not valid UTF-8 text");
  return text;
}

bool ParseOnOffOption(const std::string& option, const std::string& text) {
  if (text == "on") return true;
  if (text == "off") return false;
  throw UsageError("--" + option + " \"" + text + "\" must be on or off");
}

}  // namespace tovalen::cli
