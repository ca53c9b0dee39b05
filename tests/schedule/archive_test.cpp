#include "schedule/archive.h"

#include <gtest/gtest.h>

#include <random>

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

std::string EncodeUtf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Characters from the ranges where code page 932 and its look-alikes live, and anywhere else.
char32_t RandomCharacter(std::mt19937& random) {
  static constexpr char32_t kLookAlikes[] = {U'\\', U'~', U'¥',  U'‾', U'¢',  U'£', U'¬',
                                             U'—',  U'‖', U'〜', U'−', U'～', U'－'};
  static constexpr std::pair<char32_t, char32_t> kRanges[] = {
      {0x00, 0x7F},     {0x80, 0xFF},     {0x2000, 0x22FF},   {0x3000, 0x30FF},    {0x4E00, 0x9FFF},
      {0xE000, 0xF8FF}, {0xFF00, 0xFFEF}, {0xE0000, 0xE007F}, {0x10000, 0x10FFFF}, {0x00, 0xFFFF}};
  const std::size_t pick = random() % (std::size(kRanges) + 1);
  if (pick == std::size(kRanges)) return kLookAlikes[random() % std::size(kLookAlikes)];
  const auto [low, high] = kRanges[pick];
  const char32_t c = low + random() % (high - low + 1);
  return c >= 0xD800 && c <= 0xDFFF ? U'?' : c;  // surrogates are not characters
}

TEST(Archive, EveryTextComesBackExactly) {
  for (const char* text : {"/v/¥100.avi", "〜−¥", "‾¢£¬—‖", "\\～－"}) EXPECT_EQ(RoundTrip(text), text);
  EXPECT_EQ(Stored("C:\\capture.avi"),
            "\x0E"
            "C:\\capture.avi");  // exact text keeps code page 932
  std::mt19937 random(932);
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (std::size_t length = random() % 12; length > 0; --length) text += EncodeUtf8(RandomCharacter(random));
    ASSERT_EQ(RoundTrip(text), text) << ::testing::PrintToString(text);
  }
}

TEST(Archive, InvalidUtf8CannotBeStored) { EXPECT_THROW(Stored("\xC3"), ArchiveError); }

TEST(Archive, ReadsPastTheEndAreRefused) {
  ArchiveReader short_int(std::string_view("\x01\x02\x03", 3));
  EXPECT_THROW(short_int.ReadInt32(), ArchiveError);

  // A prefix that claims more than the data holds fails before any allocation.
  for (const std::string& bytes : {std::string("\x05"
                                               "abc",
                                               4),
                                   std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 7),
                                   std::string("\xFF\xFE\xFF\x03"
                                               "ab",
                                               6),
                                   std::string("\xFF", 1), std::string("\xFF\xFE", 2)}) {
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
