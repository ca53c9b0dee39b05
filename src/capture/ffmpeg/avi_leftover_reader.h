#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/ffmpeg/driver_result.h"

namespace tovalen::ffmpeg {

// One stream as the leftover's header declares it. Every value is as read; the caller decides
// what it trusts.
struct LeftoverStreamHeader {
  enum class Kind { kUnknown, kVideo, kAudio };
  Kind kind = Kind::kUnknown;  // from the stream header's type
  std::uint32_t scale = 0;     // time base scale/rate
  std::uint32_t rate = 0;
  std::uint32_t handler = 0;  // the stream header's codec fourcc
  // The format (BITMAPINFOHEADER or WAVEFORMATEX) and what follows it in the format chunk.
  std::vector<std::uint8_t> format;
};

// One data chunk of a stream in the order of the file.
struct LeftoverChunk {
  int stream = -1;
  std::uint64_t offset = 0;  // of the data
  std::uint32_t size = 0;
  // The chunk's size field was damaged; `size` reaches to the next chunk that reads whole.
  bool sizeGuessed = false;
};

// Reads the AVI a killed capture left, without trusting a byte of it: every size is checked
// against the file before anything is read or allocated, and a damaged stretch is passed over
// to the next chunk that reads whole (a known chunk id whose size leads to another one or to the
// end of the file). Only the file itself is read; nothing it names is followed.
class AviLeftoverReader {
 public:
  // Fails when the file is not an AVI or has no data list.
  static Result<AviLeftoverReader> Open(int fd);

  const std::vector<LeftoverStreamHeader>& Streams() const { return m_streams; }
  std::uint64_t FileSize() const { return m_size; }

  // A stream's chunks larger than this are damaged: passed over like a damaged size.
  void LimitChunks(int stream, std::uint64_t bytes);

  // The next chunk of a declared stream; false at the end of the file.
  bool Next(LeftoverChunk& chunk);
  // The chunk's bytes; false when the file could not be read.
  bool Read(const LeftoverChunk& chunk, std::vector<std::uint8_t>& bytes) const;

  // Bytes passed over that no chunk accounts for (a cut-off last chunk not included).
  std::uint64_t DamagedBytes() const { return m_damaged; }
  bool RiffListsEndAtFileEnd() const { return m_riffChainExact; }
  // The file was finished: its RIFF lists end exactly at the end of the file, with an index.
  bool Finished() const { return m_riffChainExact && m_sawIndex && m_damaged == 0 && !m_cutOff; }

 private:
  explicit AviLeftoverReader(int fd) : m_fd(fd) {}
  bool ReadAt(std::uint64_t offset, void* out, std::size_t bytes) const;
  bool ReadHeaderList(std::uint64_t offset, std::uint32_t size);
  void ReadStreamList(const std::vector<std::uint8_t>& list);
  bool FindDataList();
  void CheckRiffChain();

  enum class Id { kNone, kStreamData, kSkip, kDescend };
  Id Classify(const std::uint8_t* header, int& stream) const;
  bool FitsAt(std::uint64_t offset, std::uint64_t& next) const;
  bool ReadsWholeAt(std::uint64_t offset) const;
  // The first chunk that reads whole starting in [from, until).
  std::optional<std::uint64_t> Resync(std::uint64_t from, std::uint64_t until) const;
  bool StepAt(std::uint64_t& position, LeftoverChunk& chunk, bool& produced);

  int m_fd;
  std::uint64_t m_size = 0;
  std::vector<LeftoverStreamHeader> m_streams;
  std::vector<std::uint64_t> m_chunkLimits;  // by stream
  std::uint64_t m_position = 0;
  std::uint64_t m_damaged = 0;
  bool m_cutOff = false;
  bool m_sawIndex = false;
  bool m_riffChainExact = false;
};

}  // namespace tovalen::ffmpeg
