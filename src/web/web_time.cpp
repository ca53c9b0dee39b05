#include "web/web_time.h"

#include "platform/local_time.h"

namespace tovalen::web {

std::string FormatWebTime(std::int64_t seconds) { return FormatLocalTime(seconds, "%Y-%m-%dT%H:%M:%S"); }

std::optional<std::int64_t> ParseWebTime(const std::string& text) {
  if (text.size() != 19 || text[10] != 'T') return std::nullopt;
  std::string spaced = text;
  spaced[10] = ' ';
  return ParseLocalTime(spaced);
}

}  // namespace tovalen::web
