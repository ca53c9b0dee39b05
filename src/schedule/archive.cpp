#include "schedule/archive.h"

#include "platform/cp932.h"

namespace tovalen {
namespace {

constexpr std::uint8_t kLongLength = 0xFF;
constexpr std::uint16_t kUtf16Marker = 0xFFFE;
constexpr std::uint16_t kWideLength = 0xFFFF;
constexpr std::uint32_t kHugeLength = 0xFFFFFFFF;

}  // namespace

void ArchiveWriter::WriteByte(std::uint8_t value) { m_bytes.push_back(static_cast<char>(value)); }

void ArchiveWriter::WriteUInt16(std::uint16_t value) {
  WriteByte(static_cast<std::uint8_t>(value));
  WriteByte(static_cast<std::uint8_t>(value >> 8));
}

void ArchiveWriter::WriteUInt32(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) WriteByte(static_cast<std::uint8_t>(value >> shift));
}

void ArchiveWriter::WriteInt32(std::int32_t value) { WriteUInt32(static_cast<std::uint32_t>(value)); }

void ArchiveWriter::WriteLength(std::size_t length) {
  if (length < kLongLength) {
    WriteByte(static_cast<std::uint8_t>(length));
  } else if (length < kUtf16Marker) {
    WriteByte(kLongLength);
    WriteUInt16(static_cast<std::uint16_t>(length));
  } else if (length < kHugeLength) {
    WriteByte(kLongLength);
    WriteUInt16(kWideLength);
    WriteUInt32(static_cast<std::uint32_t>(length));
  } else {
    throw ArchiveError("a text of " + std::to_string(length) + " bytes is too long to store");
  }
}

void ArchiveWriter::WriteString(std::string_view utf8) {
  // Code page 932 has look-alikes (¥ for \, 〜 for ～...) that read back as other characters,
  // so it is used only when the text comes back exactly.
  const auto cp932 = Utf8ToCp932(utf8);
  if (cp932 && Cp932ToUtf8(*cp932) == utf8) {
    WriteLength(cp932->size());
    m_bytes.append(*cp932);
    return;
  }
  const auto utf16 = Utf8ToUtf16Le(utf8);
  if (!utf16) throw ArchiveError("a text to store is not valid UTF-8");
  WriteByte(kLongLength);
  WriteUInt16(kUtf16Marker);
  WriteLength(utf16->size() / 2);
  m_bytes.append(*utf16);
}

std::string_view ArchiveReader::Take(std::size_t count, const char* what) {
  if (count > Remaining()) {
    throw ArchiveError("the data ends at byte " + std::to_string(m_bytes.size()) + " where " + what + " of " +
                       std::to_string(count) + " bytes starts at byte " + std::to_string(m_offset));
  }
  const std::string_view piece = m_bytes.substr(m_offset, count);
  m_offset += count;
  return piece;
}

std::uint8_t ArchiveReader::ReadByte() { return static_cast<std::uint8_t>(Take(1, "a length prefix")[0]); }

std::uint16_t ArchiveReader::ReadUInt16() {
  const std::string_view b = Take(2, "a length prefix");
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[0]) | static_cast<std::uint8_t>(b[1]) << 8);
}

std::uint32_t ArchiveReader::ReadUInt32() {
  const std::string_view b = Take(4, "a 32-bit integer");
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(b[static_cast<std::size_t>(i)]);
  return value;
}

std::uint64_t ArchiveReader::ReadUInt64() {
  const std::uint64_t low = ReadUInt32();
  const std::uint64_t high = ReadUInt32();
  return high << 32 | low;
}

std::int32_t ArchiveReader::ReadInt32() { return static_cast<std::int32_t>(ReadUInt32()); }

std::string ArchiveReader::ReadString() {
  const std::size_t start = m_offset;
  bool utf16 = false;
  std::uint64_t length = ReadByte();
  if (length == kLongLength) {
    std::uint16_t word = ReadUInt16();
    if (word == kUtf16Marker) {
      utf16 = true;
      length = ReadByte();
      if (length == kLongLength) word = ReadUInt16();
    }
    if (length == kLongLength) {
      length = word;
      if (word == kWideLength) {
        length = ReadUInt32();
        if (length == kHugeLength) length = ReadUInt64();
      }
    }
  }
  const std::uint64_t byte_count = utf16 ? length * 2 : length;
  if (length > Remaining() || byte_count > Remaining()) {
    throw ArchiveError("a text at byte " + std::to_string(start) + " claims " + std::to_string(byte_count) +
                       " bytes but only " + std::to_string(Remaining()) + " remain");
  }
  const std::string_view stored = Take(static_cast<std::size_t>(byte_count), "a text");
  const auto text = utf16 ? Utf16LeToUtf8(stored) : Cp932ToUtf8(stored);
  if (!text) {
    throw ArchiveError("the text at byte " + std::to_string(start) + " is not valid " +
                       (utf16 ? "UTF-16" : "code page 932"));
  }
  return *text;
}

}  // namespace tovalen
