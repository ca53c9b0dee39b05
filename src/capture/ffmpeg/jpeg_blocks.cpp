#include "capture/ffmpeg/jpeg_blocks.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

extern "C" {
#include <libavcodec/avdct.h>
#include <libavutil/mem.h>
}

namespace tovalen::ffmpeg::jpeg {
namespace {

// Position in the block, row by row, of each coefficient in the order the scan codes them.
constexpr std::array<std::uint8_t, 64> kZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// FFmpeg's DCT gives coefficients eight times the orthonormal ones, as libjpeg's does.
constexpr int kDctScale = 8;
// A baseline 8-bit scan codes AC magnitudes of at most 10 bits, DC differences of 11.
constexpr int kLargestAc = 1023;
// The DCT's DC of a block of 128s: JPEG codes samples around zero.
constexpr int kDcOffset = 128 * 64;

}  // namespace

int MagnitudeBits(int value) { return std::bit_width(static_cast<unsigned>(value < 0 ? -value : value)); }

namespace {

// Bit i: the coefficient at position i, row by row, is not zero.
std::uint64_t NonZeroInRowOrder(const std::int16_t* block) {
  std::uint64_t mask = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (int rows = 0; rows < 4; ++rows) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * rows));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * rows + 8));
    const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(first, zero), _mm_cmpeq_epi16(second, zero));
    mask |= static_cast<std::uint64_t>(~_mm_movemask_epi8(zeros) & 0xFFFF) << (16 * rows);
  }
#else
  for (std::size_t i = 0; i < 64; ++i) mask |= std::uint64_t{block[i] != 0} << i;
#endif
  return mask;
}

// For each row of a block and each set of its coefficients, their bits in scan order.
constexpr auto kScanBitsOfRow = [] {
  std::array<std::uint8_t, 64> scanIndex{};
  for (std::size_t k = 0; k < 64; ++k) scanIndex[kZigZag[k]] = static_cast<std::uint8_t>(k);
  std::array<std::array<std::uint64_t, 256>, 8> table{};
  for (std::size_t row = 0; row < 8; ++row)
    for (std::size_t set = 0; set < 256; ++set)
      for (std::size_t column = 0; column < 8; ++column)
        if (set & (std::size_t{1} << column)) table[row][set] |= std::uint64_t{1} << scanIndex[row * 8 + column];
  return table;
}();

// The run/size symbols of a block's AC coefficients, as the scan codes them.
void CountAcSymbols(const std::int16_t* block, SymbolCounts& counts) {
  const std::uint64_t rowOrder = NonZeroInRowOrder(block);
  std::uint64_t nonZero = 0;  // bit k: the k-th coefficient in scan order is not zero
  for (std::size_t row = 0; row < 8; ++row) nonZero |= kScanBitsOfRow[row][(rowOrder >> (8 * row)) & 0xFF];
  nonZero &= ~std::uint64_t{1};  // the DC is counted apart
  int previous = 0;
  while (nonZero) {
    const int k = std::countr_zero(nonZero);
    nonZero &= nonZero - 1;
    int run = k - previous - 1;
    for (; run > 15; run -= 16) ++counts[0xF0];
    ++counts[static_cast<std::size_t>((run << 4) | MagnitudeBits(block[kZigZag[static_cast<std::size_t>(k)]]))];
    previous = k;
  }
  if (previous < 63) ++counts[0x00];
}

}  // namespace

void BlockCoder::DctDeleter::operator()(AVDCT* dct) const { av_free(dct); }

std::unique_ptr<BlockCoder> BlockCoder::Create(double rounding) {
  std::unique_ptr<BlockCoder> coder(new BlockCoder(rounding));
  if (!coder->m_dct || avcodec_dct_init(coder->m_dct.get()) < 0 || !coder->m_dct->fdct ||
      !coder->m_dct->get_pixels_unaligned)
    return nullptr;
  return coder;
}

BlockCoder::BlockCoder(double rounding)
    : m_dct(avcodec_dct_alloc()), m_rounding(static_cast<float>(std::clamp(rounding, 0.0, 0.5))) {}

BlockCoder::~BlockCoder() = default;

void BlockCoder::SetSteps(const Table& steps) {
  if (steps == m_steps) return;
  m_steps = steps;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const int divisor = steps[i] * kDctScale;
    // Rounded up, the reciprocal gives the exact level for the small levels, which are most.
    m_reciprocals[i] = static_cast<std::uint16_t>(std::min((65536 + divisor - 1) / divisor, 65535));
    m_biases[i] = static_cast<std::uint16_t>(m_rounding * static_cast<float>(divisor));
  }
}

void BlockCoder::CodeBlock(const std::uint8_t* pixels, std::ptrdiff_t stride, std::int16_t* out,
                           SymbolCounts* acCounts) {
  alignas(16) std::int16_t block[64];
  m_dct->get_pixels_unaligned(block, pixels, stride);
  m_dct->fdct(block);
  // In 16 bits, a multiply by the step's reciprocal keeping the high half: one pass the compiler
  // vectorises eight coefficients at a time (pmulhuw). The DC is redone below.
  for (std::size_t i = 0; i < 64; ++i) {
    const std::int16_t value = block[i];
    const std::int16_t sign = static_cast<std::int16_t>(value >> 15);  // 0 or -1
    const auto magnitude = static_cast<std::uint16_t>((value ^ sign) - sign);
    const auto biased = static_cast<std::uint16_t>(magnitude + m_biases[i]);
    const auto level = static_cast<std::uint16_t>((std::uint32_t{biased} * m_reciprocals[i]) >> 16);
    const auto clamped = static_cast<std::int16_t>(level < kLargestAc ? level : kLargestAc);
    out[i] = static_cast<std::int16_t>((clamped ^ sign) - sign);
  }
  // The DC is rounded to nearest: an error there shows as a block-wide step.
  const int dc = block[0] - kDcOffset;
  const int dcStep = m_steps[0] * kDctScale;
  out[0] = static_cast<std::int16_t>(dc >= 0 ? (dc + dcStep / 2) / dcStep : -((-dc + dcStep / 2) / dcStep));
  if (acCounts) CountAcSymbols(out, *acCounts);
}

void BlockCoder::Code(const PlaneView& plane, const Table& steps, const BlockGrid& grid, BlockRows rows,
                      SymbolCounts* acCounts) {
  SetSteps(steps);
  const int fullWide = plane.width / 8;
  std::uint8_t edge[64];
  for (int by = 0; by < grid.high; ++by) {
    const bool fullRow = by * 8 + 8 <= plane.height;
    const std::uint8_t* rowStart = plane.data + static_cast<std::ptrdiff_t>(by) * 8 * plane.stride;
    for (int bx = 0; bx < grid.wide; ++bx) {
      std::int16_t* out = rows[by][bx];
      if (fullRow && bx < fullWide) {
        CodeBlock(rowStart + bx * 8, plane.stride, out, acCounts);
        continue;
      }
      // Past the edge, the last column and row repeat.
      for (int y = 0; y < 8; ++y) {
        const int sourceY = std::min(by * 8 + y, plane.height - 1);
        const std::uint8_t* line = plane.data + static_cast<std::ptrdiff_t>(sourceY) * plane.stride;
        for (int x = 0; x < 8; ++x) edge[y * 8 + x] = line[std::min(bx * 8 + x, plane.width - 1)];
      }
      CodeBlock(edge, 8, out, acCounts);
    }
  }
}

void CountDcSymbols(const BlockGrid& grid, BlockRows rows, SymbolCounts& counts) {
  int previous = 0;
  for (int unitY = 0; unitY < grid.unitsHigh; ++unitY) {
    for (int unitX = 0; unitX < grid.unitsWide; ++unitX) {
      for (int y = 0; y < grid.perUnitHigh; ++y) {
        for (int x = 0; x < grid.perUnitWide; ++x) {
          const int row = unitY * grid.perUnitHigh + y;
          const int column = unitX * grid.perUnitWide + x;
          const int dc = row < grid.high && column < grid.wide ? rows[row][column][0] : previous;
          ++counts[static_cast<std::size_t>(MagnitudeBits(dc - previous))];
          previous = dc;
        }
      }
    }
  }
}

}  // namespace tovalen::ffmpeg::jpeg
