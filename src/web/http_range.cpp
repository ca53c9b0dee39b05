#include "web/http_range.h"

#include <charconv>

namespace tovalen::web {
namespace {

std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

RangeRequest ParseRange(const std::optional<std::string>& header, std::uint64_t size) {
  const RangeRequest whole{RangeAnswer::kWhole, {0, size}};
  constexpr std::string_view kUnit = "bytes=";
  if (!header || !header->starts_with(kUnit)) return whole;
  const std::string_view byteRange = std::string_view(*header).substr(kUnit.size());
  const std::size_t dash = byteRange.find('-');
  if (dash == std::string_view::npos || byteRange.find(',') != std::string_view::npos) return whole;
  const auto first = Number(byteRange.substr(0, dash));
  const auto last = Number(byteRange.substr(dash + 1));
  if (!first) {
    if (!last) return whole;
    // The last N bytes.
    if (*last == 0) return {RangeAnswer::kUnsatisfiable, {}};
    const std::uint64_t length = std::min(*last, size);
    return {RangeAnswer::kPart, {size - length, length}};
  }
  if (dash + 1 < byteRange.size() && !last) return whole;
  if (last && *last < *first) return whole;
  if (*first >= size) return {RangeAnswer::kUnsatisfiable, {}};
  const std::uint64_t end = last ? std::min(*last + 1, size) : size;
  return {RangeAnswer::kPart, {*first, end - *first}};
}

}  // namespace tovalen::web
