#include <gtest/gtest.h>

#include "schedule/archive.h"

namespace tovalen {
namespace {

std::string Stored(std::string_view text) {
  ArchiveWriter writer;
  writer.WriteString(text);
  return writer.Bytes();
}

std::string RoundTrip(std::string_view text) {
  const std::string bytes = Stored(text);
  ArchiveReader reader(bytes);
  std::string back = reader.ReadString();
  EXPECT_EQ(reader.Remaining(), 0u);
  return back;
}

TEST(Archive, IntegersAreLittleEndian) {
  ArchiveWriter writer;
  writer.WriteInt32(-2);
  writer.WriteInt32(0x01020304);
  EXPECT_EQ(writer.Bytes(), std::string("\xFE\xFF\xFF\xFF\x04\x03\x02\x01", 8));
  ArchiveReader reader(writer.Bytes());
  EXPECT_EQ(reader.ReadInt32(), -2);
  EXPECT_EQ(reader.ReadInt32(), 0x01020304);
}

TEST(Archive, LengthPrefixFormsChangeAt255And65534Bytes) {
  EXPECT_EQ(Stored(std::string(254, 'a')).substr(0, 1), "\xFE");
  EXPECT_EQ(Stored(std::string(255, 'a')).substr(0, 3), std::string("\xFF\xFF\x00", 3));
  EXPECT_EQ(Stored(std::string(65533, 'a')).substr(0, 3), "\xFF\xFD\xFF");
  EXPECT_EQ(Stored(std::string(65534, 'a')).substr(0, 7), std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7));
  for (std::size_t length : {0u, 254u, 255u, 65533u, 65534u, 70000u}) {
    const std::string text(length, 'x');
    EXPECT_EQ(RoundTrip(text), text) << length;
  }
}

TEST(Archive, TextIsStoredInCodePage932) {
  EXPECT_EQ(Stored("番組名"), "\x06\x94\xD4\x91\x67\x96\xBC");
  EXPECT_EQ(RoundTrip("番組名"), "番組名");
}

TEST(Archive, TextOutsideCodePage932UsesTheUtf16Form) {
  const std::string text = "Caf\xC3\xA9 🎥";  // é is not in code page 932
  const std::string bytes = Stored(text);
  // marker, then the length in UTF-16 units (7), then UTF-16LE
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE\xFF\x07", 4));
  EXPECT_EQ(bytes.size(), 4u + 14u);
  EXPECT_EQ(RoundTrip(text), text);
  const std::string long_text = std::string(300, 'x') + "\xC3\xA9";
  EXPECT_EQ(RoundTrip(long_text), long_text);
}

TEST(Archive, InvalidUtf8CannotBeStored) { EXPECT_THROW(Stored("\xC3"), ArchiveError); }

TEST(Archive, ReadsPastTheEndAreRefused) {
  ArchiveReader short_int(std::string_view("\x01\x02\x03", 3));
  EXPECT_THROW(short_int.ReadInt32(), ArchiveError);

  // A prefix that claims more than the data holds fails before any allocation.
  for (const std::string& bytes : {std::string("\x05" "abc", 4), std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 7),
                                  std::string("\xFF\xFE\xFF\x03" "ab", 6), std::string("\xFF", 1),
                                  std::string("\xFF\xFE", 2)}) {
    ArchiveReader reader(bytes);
    EXPECT_THROW(reader.ReadString(), ArchiveError) << bytes.size();
  }
}

TEST(Archive, StoredTextThatIsNotValidIsRefused) {
  ArchiveReader bad_cp932(std::string_view("\x01\x94", 2));
  EXPECT_THROW(bad_cp932.ReadString(), ArchiveError);
  ArchiveReader lone_surrogate(std::string_view("\xFF\xFE\xFF\x01\x00\xD8", 6));
  EXPECT_THROW(lone_surrogate.ReadString(), ArchiveError);
}

}  // namespace
}  // namespace tovalen
