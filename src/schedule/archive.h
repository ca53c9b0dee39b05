#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tovalen {

// Stored data that cannot be read: truncated, or a length larger than what remains.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes the archive form of the .yyk file: little-endian integers and length-prefixed strings.
// Strings are UTF-8 in the program and stored in code page 932; text that code page cannot give
// back exactly is stored in the UTF-16 form (0xFF, 0xFFFE, then a length in UTF-16 units).
class ArchiveWriter {
 public:
  void WriteInt32(std::int32_t value);
  void WriteUInt32(std::uint32_t value);
  void WriteString(std::string_view utf8);

  const std::string& Bytes() const { return m_bytes; }
  std::string TakeBytes() { return std::move(m_bytes); }
  void Reserve(std::size_t bytes) { m_bytes.reserve(bytes); }

 private:
  void WriteByte(std::uint8_t value);
  void WriteUInt16(std::uint16_t value);
  void WriteLength(std::size_t length);

  std::string m_bytes;
};

// Reads the archive form; every read checks the bytes that remain and throws ArchiveError.
class ArchiveReader {
 public:
  explicit ArchiveReader(std::string_view bytes) : m_bytes(bytes) {}

  std::int32_t ReadInt32();
  std::uint32_t ReadUInt32();
  // Reads any of the stored string forms and returns the text as UTF-8.
  std::string ReadString();

  std::size_t Remaining() const { return m_bytes.size() - m_offset; }

 private:
  std::uint8_t ReadByte();
  std::uint16_t ReadUInt16();
  std::uint64_t ReadUInt64();
  std::string_view Take(std::size_t count, const char* what);

  std::string_view m_bytes;
  std::size_t m_offset = 0;
};

}  // namespace tovalen
