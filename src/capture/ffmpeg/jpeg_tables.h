#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tovalen::ffmpeg::jpeg {

// Coefficients of an 8x8 block, row by row (the order JPEG's quantisation tables are given in).
using Table = std::array<std::uint16_t, 64>;

struct QuantTables {
  Table luma{};
  Table chroma{};
};

// The steps' shape across frequencies: the usual JPEG tables, flatter ones (both scaled as
// libjpeg scales its tables), or one step for all, the recorder's.
enum class TableShape { kStandard, kGentle, kFlat };

// The quantisation steps for a quality of 1 (smallest file) to 100 (best picture). Higher
// quality never means a coarser step.
QuantTables QuantTablesFor(int quality, TableShape shape = TableShape::kFlat);

// How often each symbol of one Huffman table occurred (symbols 0-255).
using SymbolCounts = std::array<std::uint32_t, 256>;

// A Huffman table as a JPEG file stores it: how many codes of each length 1-16, and the
// symbols in code order.
struct HuffmanTableCodes {
  std::array<std::uint8_t, 17> bits{};  // bits[0] unused
  std::vector<std::uint8_t> values;
};

// The shortest code for the counts, no code longer than 16 bits and none all ones. Symbols with
// a zero count get no code; at least one count must be non-zero.
HuffmanTableCodes OptimalHuffman(const SymbolCounts& counts);

// Every symbol a baseline 8-bit scan may need: the DC sizes 0-11, or the AC run/size pairs
// with end of block and the 16-zero run. A table built from counts that include these at
// least once codes any block.
bool IsDcSymbol(int symbol);
bool IsAcSymbol(int symbol);

}  // namespace tovalen::ffmpeg::jpeg
