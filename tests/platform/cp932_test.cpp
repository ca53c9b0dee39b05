#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace tovalen {
namespace {

TEST(Cp932, JapaneseTextRoundTripsWithTheStoredBytes) {
  EXPECT_EQ(Utf8ToCp932("番組名"), std::string("\x94\xD4\x91\x67\x96\xBC"));
  EXPECT_EQ(Cp932ToUtf8("\x94\xD4\x91\x67\x96\xBC"), "番組名");
  // The list separator's wave dash is the double-byte 0x81 0x60.
  EXPECT_EQ(Utf8ToCp932(" ～ "), std::string(" \x81\x60 "));
  EXPECT_EQ(Utf8ToCp932("C:\\capture.avi"), "C:\\capture.avi");
}

TEST(Cp932, UnrepresentableOrMalformedInputIsRefused) {
  EXPECT_FALSE(Utf8ToCp932("emoji \xF0\x9F\x8E\xA5").has_value());
  EXPECT_FALSE(Utf8ToCp932("\xC3").has_value());  // cut UTF-8 sequence
  EXPECT_FALSE(Cp932ToUtf8("\x94").has_value());  // lead byte without its trail
}

TEST(Cp932, Utf16RoundTripKeepsCharactersOutsideCp932) {
  const std::string text = "Ünïcode 🎥";
  const auto utf16 = Utf8ToUtf16Le(text);
  ASSERT_TRUE(utf16.has_value());
  EXPECT_EQ(utf16->size(), 2u * 10);  // nine BMP characters and one surrogate pair
  EXPECT_EQ(Utf16LeToUtf8(*utf16), text);
}

TEST(Cp932, TruncationNeverSplitsACharacter) {
  const std::string cp932 = "a\x94\xD4\x91\x67";  // "a番組"
  EXPECT_EQ(TruncateCp932(cp932, 2), "a");
  EXPECT_EQ(TruncateCp932(cp932, 3), "a\x94\xD4");
  EXPECT_EQ(TruncateCp932(cp932, 10), cp932);
  const std::string utf8 = "a番";  // 1 + 3 bytes
  EXPECT_EQ(TruncateUtf8(utf8, 3), "a");
  EXPECT_EQ(TruncateUtf8(utf8, 4), utf8);
}

}  // namespace
}  // namespace tovalen
