#include "capture/ffmpeg/avi_leftover_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/posix_file.h"
#include "platform/system_error_text.h"

namespace tovalen::ffmpeg {
namespace {

// Headers larger than this are damaged: ours take a few kilobytes.
constexpr std::uint32_t kLargestHeaderList = 1 << 20;
// Where the data list is looked for when the chunks before it do not lead there.
constexpr std::uint64_t kDataListSearchBytes = 16 << 20;
constexpr std::uint64_t kScanBlockBytes = 1 << 20;
constexpr int kMostStreams = 100;  // two digits in a chunk id
constexpr int kMostRiffLists = 100'000;

std::uint32_t Le32(const std::uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

bool Is(const std::uint8_t* bytes, const char* fourcc) { return std::memcmp(bytes, fourcc, 4) == 0; }

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

std::uint64_t Padded(std::uint32_t size) { return size + (size & 1u); }

// Chunks inside a list held in memory: calls `visit(id, data, size)` for each; one whose size
// runs past the list (damaged) is the last, with what the list holds of it.
template <typename Visit>
void ForEachChunk(const std::vector<std::uint8_t>& list, std::size_t from, Visit visit) {
  std::size_t at = from;
  while (at + 8 <= list.size()) {
    const std::size_t rest = list.size() - at - 8;
    const std::uint32_t size = Le32(&list[at + 4]);
    visit(&list[at], &list[at + 8], static_cast<std::uint32_t>(std::min<std::size_t>(size, rest)));
    if (size > rest) return;
    at += 8 + Padded(size);
  }
}

}  // namespace

Result<AviLeftoverReader> AviLeftoverReader::Open(int fd) {
  AviLeftoverReader reader(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    return DriverError{.detail = SystemErrorText(error), .errorNumber = error};
  }
  reader.m_size = static_cast<std::uint64_t>(info.st_size);
  std::array<std::uint8_t, 12> riff{};
  if (!reader.ReadAt(0, riff.data(), riff.size()) || !Is(&riff[0], "RIFF") || !Is(&riff[8], "AVI ")) {
    return DriverError{.detail = "not an AVI file"};
  }
  if (!reader.FindDataList()) return DriverError{.detail = "no data list in the AVI file"};
  reader.CheckRiffChain();
  reader.m_chunkLimits.assign(reader.m_streams.size(), reader.m_size);
  return reader;
}

void AviLeftoverReader::LimitChunks(int stream, std::uint64_t bytes) {
  if (stream >= 0 && static_cast<std::size_t>(stream) < m_chunkLimits.size()) m_chunkLimits[stream] = bytes;
}

bool AviLeftoverReader::ReadAt(std::uint64_t offset, void* out, std::size_t bytes) const {
  if (offset > m_size || bytes > m_size - offset) return false;
  auto* at = static_cast<char*>(out);
  while (bytes > 0) {
    const ssize_t n = RetryOnInterrupt([&] { return ::pread(m_fd, at, bytes, static_cast<off_t>(offset)); });
    if (n <= 0) return false;
    at += n;
    offset += static_cast<std::uint64_t>(n);
    bytes -= static_cast<std::size_t>(n);
  }
  return true;
}

// Walks the first RIFF list's chunks to the header list and the data list; when a damaged size
// breaks the walk, the data list is looked for by its bytes.
bool AviLeftoverReader::FindDataList() {
  std::uint64_t at = 12;
  std::array<std::uint8_t, 12> header{};
  while (ReadAt(at, header.data(), header.size())) {
    const std::uint32_t size = Le32(&header[4]);
    if (Is(&header[0], "LIST") && Is(&header[8], "movi")) {
      m_position = at + 12;
      return true;
    }
    if (Is(&header[0], "LIST") && Is(&header[8], "hdrl") && !ReadHeaderList(at, size)) break;
    at += 8 + Padded(size);
  }
  std::vector<std::uint8_t> start(std::min(m_size, kDataListSearchBytes));
  if (!ReadAt(0, start.data(), start.size())) return false;
  for (std::size_t i = 12; i + 12 <= start.size(); ++i) {
    if (Is(&start[i], "LIST") && Is(&start[i + 8], "movi")) {
      m_position = i + 12;
      return true;
    }
  }
  return false;
}

bool AviLeftoverReader::ReadHeaderList(std::uint64_t offset, std::uint32_t size) {
  if (size < 4 || size > kLargestHeaderList || size > m_size - offset - 8) return false;
  std::vector<std::uint8_t> list(size);
  if (!ReadAt(offset + 8, list.data(), list.size())) return false;
  ForEachChunk(list, 4, [this](const std::uint8_t* id, const std::uint8_t* data, std::uint32_t chunkSize) {
    if (!Is(id, "LIST") || chunkSize < 4 || !Is(data, "strl") || m_streams.size() >= kMostStreams) return;
    ReadStreamList(std::vector<std::uint8_t>(data, data + chunkSize));
  });
  return true;
}

void AviLeftoverReader::ReadStreamList(const std::vector<std::uint8_t>& list) {
  LeftoverStreamHeader stream;
  ForEachChunk(list, 4, [&stream](const std::uint8_t* id, const std::uint8_t* data, std::uint32_t size) {
    if (Is(id, "strh") && size >= 28) {
      stream.kind = Is(data, "vids")   ? LeftoverStreamHeader::Kind::kVideo
                    : Is(data, "auds") ? LeftoverStreamHeader::Kind::kAudio
                                       : LeftoverStreamHeader::Kind::kUnknown;
      stream.handler = Le32(data + 4);
      stream.scale = Le32(data + 20);
      stream.rate = Le32(data + 24);
    } else if (Is(id, "strf")) {
      stream.format.assign(data, data + size);
    }
  });
  m_streams.push_back(std::move(stream));
}

void AviLeftoverReader::CheckRiffChain() {
  std::uint64_t at = 0;
  std::array<std::uint8_t, 12> header{};
  for (int list = 0; list < kMostRiffLists && ReadAt(at, header.data(), header.size()); ++list) {
    const std::uint32_t size = Le32(&header[4]);
    if (!Is(&header[0], "RIFF") || size == 0xFFFFFFFFu) return;
    at += 8 + Padded(size);
    if (at == m_size) m_riffChainExact = true;
    if (at >= m_size) return;
  }
}

AviLeftoverReader::Id AviLeftoverReader::Classify(const std::uint8_t* header, int& stream) const {
  stream = -1;
  if (IsDigit(header[0]) && IsDigit(header[1])) {
    const int index = (header[0] - '0') * 10 + (header[1] - '0');
    if (index >= static_cast<int>(m_streams.size())) return Id::kNone;
    const auto kind = m_streams[index].kind;
    const bool video = header[2] == 'd' && (header[3] == 'c' || header[3] == 'b');
    const bool audio = header[2] == 'w' && header[3] == 'b';
    if ((video && kind != LeftoverStreamHeader::Kind::kAudio) ||
        (audio && kind != LeftoverStreamHeader::Kind::kVideo)) {
      stream = index;
      return Id::kStreamData;
    }
    return Id::kNone;
  }
  if (Is(header, "LIST") || Is(header, "RIFF")) return Id::kDescend;
  if (Is(header, "idx1") || Is(header, "JUNK") ||
      (header[0] == 'i' && header[1] == 'x' && IsDigit(header[2]) && IsDigit(header[3])))
    return Id::kSkip;
  return Id::kNone;
}

// Whether a chunk starts at the offset and ends inside the file; `next` is where the following
// one starts. The lists of the data (another RIFF part, the data list, a record list) are entered.
bool AviLeftoverReader::FitsAt(std::uint64_t offset, std::uint64_t& next) const {
  std::array<std::uint8_t, 12> header{};
  const bool twelve = ReadAt(offset, header.data(), 12);
  if (!twelve && !ReadAt(offset, header.data(), 8)) return false;
  int stream = -1;
  const Id id = Classify(header.data(), stream);
  if (id == Id::kNone) return false;
  const std::uint32_t size = Le32(&header[4]);
  if (id == Id::kDescend && twelve &&
      (Is(&header[8], "movi") || Is(&header[8], "rec ") || (Is(&header[0], "RIFF") && Is(&header[8], "AVIX")))) {
    next = offset + 12;
    return true;
  }
  const std::uint64_t end = offset + 8 + static_cast<std::uint64_t>(size);
  if (end > m_size || (stream >= 0 && size > m_chunkLimits[stream])) return false;
  next = std::min(end + (size & 1u), m_size);  // the last chunk's pad byte may be missing
  return true;
}

bool AviLeftoverReader::ReadsWholeAt(std::uint64_t offset) const {
  std::uint64_t next = 0;
  if (!FitsAt(offset, next)) return false;
  if (next == m_size) return true;
  std::array<std::uint8_t, 8> header{};
  if (!ReadAt(next, header.data(), header.size())) return m_size - next < 8;  // cut off inside the next header
  int stream = -1;
  return Classify(header.data(), stream) != Id::kNone;
}

std::optional<std::uint64_t> AviLeftoverReader::Resync(std::uint64_t from, std::uint64_t until) const {
  until = std::min(until, m_size);
  std::vector<std::uint8_t> block;
  for (std::uint64_t start = from; start + 8 <= m_size && start < until; start += kScanBlockBytes) {
    // Only as far as a header starting before `until` reaches.
    block.resize(static_cast<std::size_t>(std::min({kScanBlockBytes + 7, m_size - start, until - start + 7})));
    if (!ReadAt(start, block.data(), block.size())) return std::nullopt;
    for (std::size_t i = 0; i + 8 <= block.size() && i < kScanBlockBytes && start + i < until; ++i) {
      int stream = -1;
      if (Classify(&block[i], stream) != Id::kNone && ReadsWholeAt(start + i)) return start + i;
    }
  }
  return std::nullopt;
}

bool AviLeftoverReader::Next(LeftoverChunk& chunk) {
  bool produced = false;
  // Each step moves forward, so the file's size bounds the loop.
  while (!produced && m_position < m_size) {
    if (!StepAt(m_position, chunk, produced)) return false;
  }
  return produced;
}

bool AviLeftoverReader::StepAt(std::uint64_t& position, LeftoverChunk& chunk, bool& produced) {
  std::array<std::uint8_t, 8> header{};
  const bool haveHeader = ReadAt(position, header.data(), header.size());
  int stream = -1;
  const Id id = haveHeader ? Classify(header.data(), stream) : Id::kNone;
  std::uint64_t next = 0;
  if (ReadsWholeAt(position) && FitsAt(position, next)) {
    if (id == Id::kStreamData) {
      // A size made larger takes in the chunks after it: they start inside it.
      const auto inside = Resync(position + 8, position + 8 + Le32(&header[4]));
      if (inside) next = *inside;
      chunk = LeftoverChunk{stream, position + 8, static_cast<std::uint32_t>(next - position - 8), inside.has_value()};
      produced = true;
    }
    if (Is(header.data(), "idx1")) m_sawIndex = true;
    position = next;
    return true;
  }
  const auto resumed = Resync(position + 1, m_size);
  if (!resumed) {
    // The end: a chunk cut off by the kill, or bytes that never became one.
    const std::uint64_t rest = m_size - position;
    if (rest < 8 || id != Id::kNone) {
      m_cutOff = true;
    } else {
      m_damaged += rest;
    }
    position = m_size;
    return true;
  }
  if (id == Id::kStreamData && *resumed - position > 8 && *resumed - position - 8 <= m_chunkLimits[stream]) {
    chunk =
        LeftoverChunk{stream, position + 8,
                      static_cast<std::uint32_t>(std::min<std::uint64_t>(*resumed - position - 8, 0xFFFFFFFFu)), true};
    produced = true;
  } else {
    m_damaged += *resumed - position;
  }
  position = *resumed;
  return true;
}

bool AviLeftoverReader::Read(const LeftoverChunk& chunk, std::vector<std::uint8_t>& bytes) const {
  if (chunk.offset > m_size || chunk.size > m_size - chunk.offset) return false;
  bytes.resize(chunk.size);
  return ReadAt(chunk.offset, bytes.data(), bytes.size());
}

}  // namespace tovalen::ffmpeg
