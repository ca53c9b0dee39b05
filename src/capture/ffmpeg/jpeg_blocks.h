#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "capture/ffmpeg/jpeg_tables.h"

struct AVDCT;

namespace tovalen::ffmpeg::jpeg {

// Rows of 8x8 blocks of coefficients, each row by row: libjpeg's JBLOCKARRAY.
using Block = std::int16_t[64];
using BlockRows = Block**;

struct PlaneView {
  const std::uint8_t* data = nullptr;
  std::ptrdiff_t stride = 0;
  int width = 0;
  int height = 0;
};

// One component's blocks in the layout JPEG codes them: how many are real, and how many the
// component takes in each minimum coded unit (its sampling factors).
struct BlockGrid {
  int wide = 0;
  int high = 0;
  int perUnitWide = 1;
  int perUnitHigh = 1;
  int unitsWide = 0;
  int unitsHigh = 0;
};

// Forward DCT (FFmpeg's, the fastest the processor has) and quantisation of 8-bit planes into
// JPEG coefficient blocks. Small coefficients are rounded towards zero (a dead zone): most of
// them are noise, and dropping them saves more bytes than the error they add costs.
class BlockCoder {
 public:
  // rounding: what is added to a coefficient's magnitude in steps before it is cut to a whole
  // step; 0.5 rounds to nearest, less widens the dead zone.
  static std::unique_ptr<BlockCoder> Create(double rounding);
  ~BlockCoder();
  BlockCoder(const BlockCoder&) = delete;
  BlockCoder& operator=(const BlockCoder&) = delete;

  // Codes the plane's blocks into rows (grid.high rows of grid.wide blocks); a block past the
  // plane's edge repeats its last column and row. With acCounts, adds each block's AC symbols.
  void Code(const PlaneView& plane, const Table& steps, const BlockGrid& grid, BlockRows rows, SymbolCounts* acCounts);

 private:
  struct DctDeleter {
    void operator()(AVDCT* dct) const;
  };
  explicit BlockCoder(double rounding);
  void SetSteps(const Table& steps);
  void CodeBlock(const std::uint8_t* pixels, std::ptrdiff_t stride, std::int16_t* out, SymbolCounts* acCounts);

  std::unique_ptr<AVDCT, DctDeleter> m_dct;
  float m_rounding;
  Table m_steps{};
  // Each coefficient's magnitude plus its bias, times its reciprocal, over 65536: its level.
  alignas(16) std::array<std::uint16_t, 64> m_reciprocals{};
  alignas(16) std::array<std::uint16_t, 64> m_biases{};
};

// Adds the DC symbols of a component's blocks in the order the scan codes them: unit by unit,
// each unit's blocks row by row, each the difference from the one before. The blocks a unit
// has past the component's edge repeat the DC before them.
void CountDcSymbols(const BlockGrid& grid, BlockRows rows, SymbolCounts& counts);

// The number of bits of a coefficient's magnitude: the size part of its symbol.
int MagnitudeBits(int value);

}  // namespace tovalen::ffmpeg::jpeg
