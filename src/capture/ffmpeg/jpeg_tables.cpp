#include "capture/ffmpeg/jpeg_tables.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <queue>

namespace tovalen::ffmpeg::jpeg {
namespace {

// Steps for the middle of the scale (MPEG-1's intra matrix), flatter towards the high
// frequencies than the usual JPEG tables.
constexpr Table kLumaBase = {
    8,  16, 19, 22, 26, 27, 29, 34,  //
    16, 16, 22, 24, 27, 29, 34, 37,  //
    19, 22, 26, 27, 29, 34, 34, 38,  //
    22, 22, 26, 27, 29, 34, 37, 40,  //
    22, 26, 27, 29, 32, 35, 40, 48,  //
    26, 27, 29, 32, 35, 40, 48, 58,  //
    26, 27, 29, 34, 38, 46, 56, 69,  //
    27, 29, 35, 38, 46, 56, 69, 83,  //
};
// The JPEG standard's example tables (Annex K).
constexpr Table kStandardLuma = {
    16, 11, 10, 16, 24,  40,  51,  61,   //
    12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,   //
    14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,   //
    24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101,  //
    72, 92, 95, 98, 112, 100, 103, 99,   //
};
constexpr Table kStandardChroma = {
    17, 18, 24, 47, 99, 99, 99, 99,  //
    18, 21, 26, 66, 99, 99, 99, 99,  //
    24, 26, 56, 99, 99, 99, 99, 99,  //
    47, 66, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
};

// libjpeg's percentage: quality 50 keeps a table's base steps, 100 makes them all 1.
int ScalePercent(int quality) {
  quality = std::clamp(quality, 1, 100);
  return quality < 50 ? 5000 / quality : 200 - 2 * quality;
}

// One step for every AC coefficient of both tables: the error is spread evenly over all
// frequencies and planes, which for a given mean error (PSNR) costs the fewest bytes. Its size
// for a quality gives about the PSNR libjpeg's usual tables gave at that quality (within about
// 0.5 dB on the test pattern, with and without camera-like noise), so a stored quality keeps
// its meaning.
Table Flat(int quality) {
  const double step = 15.4 * std::pow(ScalePercent(quality) / 30.0, 0.76);
  Table table{};
  table.fill(static_cast<std::uint16_t>(std::clamp(std::lround(step), 1L, 255L)));
  // The DC at half the step: a block-wide error shows over flat areas, and one DC per block
  // costs little (on the test pattern, 3 % fewer bytes at the same PSNR).
  table[0] = static_cast<std::uint16_t>(std::clamp(std::lround(step / 2), 1L, 255L));
  return table;
}

Table Scaled(const Table& base, int percent) {
  Table table{};
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = static_cast<std::uint16_t>(std::clamp((base[i] * percent + 50) / 100, 1, 255));
  return table;
}

// Code lengths over 16 bits are shortened the way the JPEG standard's Annex K does it: a pair
// of the longest codes gives way to one code a bit longer than a shorter one.
void LimitTo16Bits(std::array<int, 33>& bits) {
  for (int length = 32; length > 16; --length) {
    while (bits[static_cast<std::size_t>(length)] > 0) {
      int shorter = length - 2;
      while (bits[static_cast<std::size_t>(shorter)] == 0) --shorter;
      bits[static_cast<std::size_t>(length)] -= 2;
      bits[static_cast<std::size_t>(length - 1)] += 1;
      bits[static_cast<std::size_t>(shorter + 1)] += 2;
      bits[static_cast<std::size_t>(shorter)] -= 1;
    }
  }
}

}  // namespace

QuantTables QuantTablesFor(int quality, TableShape shape) {
  const int percent = ScalePercent(quality);
  switch (shape) {
    case TableShape::kStandard:
      return {Scaled(kStandardLuma, percent), Scaled(kStandardChroma, percent)};
    case TableShape::kGentle:
      return {Scaled(kLumaBase, percent), Scaled(kLumaBase, percent)};
    case TableShape::kFlat:
      break;
  }
  return {Flat(quality), Flat(quality)};
}

bool IsDcSymbol(int symbol) { return symbol >= 0 && symbol <= 11; }

bool IsAcSymbol(int symbol) {
  const int size = symbol & 15;
  return symbol == 0x00 || symbol == 0xF0 || (symbol > 0 && symbol < 256 && size >= 1 && size <= 10);
}

HuffmanTableCodes OptimalHuffman(const SymbolCounts& counts) {
  // Huffman's construction over the used symbols plus one reserved symbol of count 1, so that
  // no real symbol gets the all-ones code.
  constexpr int kReserved = 256;
  struct Node {
    std::uint64_t count;
    int parent = -1;
  };
  std::vector<Node> nodes;
  std::vector<int> symbols;
  for (int symbol = 0; symbol < 256; ++symbol) {
    if (counts[static_cast<std::size_t>(symbol)] == 0) continue;
    nodes.push_back({counts[static_cast<std::size_t>(symbol)]});
    symbols.push_back(symbol);
  }
  nodes.push_back({1});
  symbols.push_back(kReserved);
  const std::size_t leaves = nodes.size();
  using Entry = std::pair<std::uint64_t, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
  for (std::size_t i = 0; i < leaves; ++i) queue.emplace(nodes[i].count, static_cast<int>(i));
  nodes.reserve(2 * leaves);
  while (queue.size() > 1) {
    const auto [countA, a] = queue.top();
    queue.pop();
    const auto [countB, b] = queue.top();
    queue.pop();
    const int parent = static_cast<int>(nodes.size());
    nodes.push_back({countA + countB});
    nodes[static_cast<std::size_t>(a)].parent = nodes[static_cast<std::size_t>(b)].parent = parent;
    queue.emplace(countA + countB, parent);
  }
  std::array<int, 33> bits{};
  std::vector<int> lengths(leaves);
  for (std::size_t i = 0; i < leaves; ++i) {
    int length = 0;
    for (int node = static_cast<int>(i); nodes[static_cast<std::size_t>(node)].parent >= 0;
         node = nodes[static_cast<std::size_t>(node)].parent)
      ++length;
    lengths[i] = std::min(length, 32);  // 257 leaves make no deeper tree than that in practice
    ++bits[static_cast<std::size_t>(lengths[i])];
  }
  LimitTo16Bits(bits);
  // The reserved symbol takes one of the longest codes.
  int longest = 16;
  while (bits[static_cast<std::size_t>(longest)] == 0) --longest;
  --bits[static_cast<std::size_t>(longest)];
  // Symbols in order of their original length, then value, take the lengths in order.
  std::vector<std::size_t> order(leaves);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (symbols[a] == kReserved || symbols[b] == kReserved) return symbols[b] == kReserved && symbols[a] != kReserved;
    return lengths[a] < lengths[b];
  });
  HuffmanTableCodes codes;
  for (std::size_t length = 1; length <= 16; ++length) codes.bits[length] = static_cast<std::uint8_t>(bits[length]);
  for (std::size_t i : order)
    if (symbols[i] != kReserved) codes.values.push_back(static_cast<std::uint8_t>(symbols[i]));
  return codes;
}

}  // namespace tovalen::ffmpeg::jpeg
