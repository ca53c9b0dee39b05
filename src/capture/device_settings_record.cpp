#include "capture/device_settings_record.h"

#include <charconv>

namespace tovalen {
namespace {

// Digits only, no sign or blank; nothing for anything else.
std::optional<int> ParseDimension(std::string_view text) {
  int value = 0;
  if (text.empty() || text.size() > 5) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text[0] == '-' || text[0] == '+') return std::nullopt;
  return value;
}

}  // namespace

std::string FrameSize::ToString() const { return std::to_string(width) + "x" + std::to_string(height); }

std::optional<FrameSize> FrameSize::Parse(const std::string& text) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto width = ParseDimension(std::string_view(text).substr(0, x));
  const auto height = ParseDimension(std::string_view(text).substr(x + 1));
  if (!width || !height) return std::nullopt;
  if (*width < 16 || *height < 16 || *width > 8192 || *height > 8192) return std::nullopt;
  return FrameSize{*width, *height};
}

}  // namespace tovalen
