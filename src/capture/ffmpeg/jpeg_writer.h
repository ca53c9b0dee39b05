#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "capture/ffmpeg/jpeg_blocks.h"
#include "capture/ffmpeg/jpeg_tables.h"

namespace tovalen::ffmpeg::jpeg {

// Baseline JPEG pictures (Y, Cb, Cr) from quantised coefficient blocks, through libjpeg: the
// markers, the tables and the Huffman coding. Every picture carries its tables. Keeps its
// settings from picture to picture. Used on one thread.
class JpegWriter {
 public:
  // grids: the three components' blocks, the luma's giving the sampling. Null when libjpeg
  // cannot take them.
  static std::unique_ptr<JpegWriter> Create(int width, int height, const std::array<BlockGrid, 3>& grids,
                                            const QuantTables& steps);
  ~JpegWriter();
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;

  // The next picture's blocks, one array per component of its grid's size, for the caller to
  // fill; the same from picture to picture.
  std::array<BlockRows, 3> Blocks();
  // The Huffman table the pictures from now on are coded with: table 0 is the luma's, 1 the
  // chroma's. It must have a code for every symbol the blocks have.
  void SetHuffmanTable(int table, bool dc, const HuffmanTableCodes& codes);
  // Codes the blocks as a picture; false when libjpeg failed (see Error).
  bool WritePicture();
  // The last picture's JPEG.
  std::span<const std::uint8_t> Bytes() const;
  // Why libjpeg failed last.
  const char* Error() const;

  struct State;  // libjpeg's, private to the implementation

 private:
  explicit JpegWriter(std::unique_ptr<State> state);
  bool SetUp(int width, int height, const QuantTables& steps);

  std::unique_ptr<State> m_state;
};

}  // namespace tovalen::ffmpeg::jpeg
