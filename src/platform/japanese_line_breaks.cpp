#include "platform/japanese_line_breaks.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tovalen {
namespace {

// One piece of the page: a tag (or comment), or one character (an entity counts as one).
struct Item {
  std::string_view raw;
  char32_t code = 0;  // 0 for a tag
  bool IsTag() const { return code == 0; }
};

bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// East Asian Wide and Fullwidth characters: ideographs, kana, CJK punctuation, fullwidth forms.
bool IsWide(char32_t c) {
  constexpr std::array<std::pair<char32_t, char32_t>, 12> kRanges = {{{0x1100, 0x115F},
                                                                      {0x2E80, 0x303E},
                                                                      {0x3041, 0x33FF},
                                                                      {0x3400, 0x4DBF},
                                                                      {0x4E00, 0x9FFF},
                                                                      {0xA000, 0xA4CF},
                                                                      {0xAC00, 0xD7A3},
                                                                      {0xF900, 0xFAFF},
                                                                      {0xFE30, 0xFE4F},
                                                                      {0xFF00, 0xFF60},
                                                                      {0xFFE0, 0xFFE6},
                                                                      {0x20000, 0x3FFFD}}};
  return std::any_of(kRanges.begin(), kRanges.end(), [c](const auto& r) { return c >= r.first && c <= r.second; });
}

bool IsOneOf(char32_t c, std::u32string_view set) { return set.find(c) != std::u32string_view::npos; }

// Characters a line must not start with, and ones it must not end with.
bool NoBreakBefore(char32_t c) {
  return IsOneOf(c,
                 U"、。，．・：；？！゛゜ヽヾゝゞ々ー〜～）」』】〕〉》］｝〙〗〟’”"
                 U"ぁぃぅぇぉっゃゅょゎゕゖァィゥェォッャュョヮヵヶ‐–—…‥)]},.:;!?%");
}
bool NoBreakAfter(char32_t c) { return IsOneOf(c, U"（「『【〔〈《［｛〘〖〝‘“([{"); }

bool BreakBetween(char32_t before, char32_t after) {
  return (IsWide(before) || IsWide(after)) && !NoBreakBefore(after) && !NoBreakAfter(before);
}

// The code point at the start of text (UTF-8) and its length; a bad byte stands for itself.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length == 1 || text.size() < length) return {lead, 1};
  char32_t code = lead & (0x3F >> (length - 1));
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return {lead, 1};
    code = (code << 6) | (next & 0x3F);
  }
  return {code, length};
}

std::string LowerTagName(std::string_view tag) {
  std::size_t i = 1;
  if (i < tag.size() && tag[i] == '/') ++i;
  std::string name;
  while (i < tag.size() && std::isalnum(static_cast<unsigned char>(tag[i]))) {
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(tag[i++])));
  }
  return name;
}

bool IsVerbatimElement(const std::string& name) {
  return name == "head" || name == "title" || name == "pre" || name == "script" || name == "style";
}

std::size_t EntityLength(std::string_view text) {
  const std::size_t end = text.find(';');
  if (end == std::string_view::npos || end < 2 || end > 10) return 1;
  const bool plain = std::all_of(text.begin() + 1, text.begin() + static_cast<std::ptrdiff_t>(end),
                                 [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '#'; });
  return plain ? end + 1 : 1;
}

// Splits the page into items; the content of verbatim elements is kept inside one tag item.
std::vector<Item> Tokenize(std::string_view html) {
  std::vector<Item> items;
  std::size_t i = 0;
  while (i < html.size()) {
    if (html[i] == '<') {
      const bool comment = html.compare(i, 4, "<!--") == 0;
      std::size_t end = comment ? html.find("-->", i) : html.find('>', i);
      end = end == std::string_view::npos ? html.size() : end + (comment ? 3 : 1);
      const std::string name = comment ? "" : LowerTagName(html.substr(i, end - i));
      if (!comment && i + 1 < html.size() && html[i + 1] != '/' && IsVerbatimElement(name)) {
        // Up to and including the element's end tag, case aside.
        std::size_t close = end;
        while (close < html.size() && !(html[close] == '<' && close + 1 < html.size() && html[close + 1] == '/' &&
                                        LowerTagName(html.substr(close)) == name)) {
          ++close;
        }
        const std::size_t closeEnd = html.find('>', close);
        end = closeEnd == std::string_view::npos ? html.size() : closeEnd + 1;
      }
      items.push_back({html.substr(i, end - i), 0});
      i = end;
    } else if (html[i] == '&') {
      const std::size_t length = EntityLength(html.substr(i));
      items.push_back({html.substr(i, length), U'&'});
      i += length;
    } else {
      const auto [code, length] = DecodeUtf8(html.substr(i));
      items.push_back({html.substr(i, length), code == 0 ? U'\uFFFD' : code});
      i += length;
    }
  }
  return items;
}

std::optional<char32_t> CharacterNear(const std::vector<Item>& items, std::size_t from, int step) {
  for (auto i = static_cast<std::ptrdiff_t>(from); i >= 0 && i < static_cast<std::ptrdiff_t>(items.size()); i += step) {
    if (!items[static_cast<std::size_t>(i)].IsTag()) return items[static_cast<std::size_t>(i)].code;
  }
  return std::nullopt;
}

// A source line break between two wide characters is no space in Japanese text.
void DropLineBreaksBetweenWideCharacters(std::vector<Item>& items) {
  std::vector<Item> kept;
  std::size_t i = 0;
  while (i < items.size()) {
    if (items[i].IsTag() || !IsSpace(items[i].code)) {
      kept.push_back(items[i++]);
      continue;
    }
    std::size_t end = i;
    bool lineBreak = false;
    while (end < items.size() && !items[end].IsTag() && IsSpace(items[end].code))
      lineBreak |= items[end++].code == '\n';
    const auto before = i > 0 ? CharacterNear(items, i - 1, -1) : std::nullopt;
    const auto after = CharacterNear(items, end, 1);
    const bool drop = lineBreak && before && after && IsWide(*before) && IsWide(*after);
    if (!drop)
      kept.insert(kept.end(), items.begin() + static_cast<std::ptrdiff_t>(i),
                  items.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
  }
  items = std::move(kept);
}

void AppendPiece(std::string& out, std::string_view text, bool breakable) {
  const char* tag = breakable ? kBreakablePieceTag : kJoinedPieceTag;
  out.append("<").append(tag).append(">").append(text).append("</").append(tag).append(">");
}

// A run of characters between tags and spaces, cut into pieces when it holds Japanese.
void AppendRun(std::string& out, const std::vector<Item>& items, std::size_t begin, std::size_t end,
               std::optional<char32_t> before) {
  const bool japanese =
      std::any_of(items.begin() + static_cast<std::ptrdiff_t>(begin), items.begin() + static_cast<std::ptrdiff_t>(end),
                  [](const Item& item) { return IsWide(item.code); });
  if (!japanese) {
    for (std::size_t i = begin; i < end; ++i) out.append(items[i].raw);
    return;
  }
  bool breakable = !before || IsSpace(*before) || BreakBetween(*before, items[begin].code);
  std::string piece;
  for (std::size_t i = begin; i < end; ++i) {
    if (i > begin && BreakBetween(items[i - 1].code, items[i].code)) {
      AppendPiece(out, piece, breakable);
      piece.clear();
      breakable = true;
    }
    piece.append(items[i].raw);
  }
  AppendPiece(out, piece, breakable);
}

}  // namespace

std::string MarkJapaneseLineBreaks(std::string_view html) {
  std::vector<Item> items = Tokenize(html);
  DropLineBreaksBetweenWideCharacters(items);
  std::string out;
  out.reserve(html.size() * 2);
  std::size_t i = 0;
  while (i < items.size()) {
    if (items[i].IsTag() || IsSpace(items[i].code)) {
      out.append(items[i++].raw);
      continue;
    }
    std::size_t end = i;
    while (end < items.size() && !items[end].IsTag() && !IsSpace(items[end].code)) ++end;
    AppendRun(out, items, i, end, i > 0 ? CharacterNear(items, i - 1, -1) : std::nullopt);
    i = end;
  }
  return out;
}

}  // namespace tovalen
