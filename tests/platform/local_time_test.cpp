#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <clocale>

#include "platform/japanese_locale.h"

namespace tovalen {
namespace {

// The test main runs in UTC with the C locale's English names.
TEST(LocalTime, FormatsAndBreaksDownInLocalTime) {
  EXPECT_EQ(FormatLocalTime(993939944, "%Y/%m/%d(%a) %H:%M:%S"), "2001/06/30(Sat) 22:25:44");
  const auto fields = BreakDownLocalTime(993939944);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->year, 2001);
  EXPECT_EQ(fields->month, 6);
  EXPECT_EQ(fields->day, 30);
  EXPECT_EQ(fields->second, 44);
  EXPECT_EQ(MakeLocalTime(*fields), 993939944);
}

TEST(LocalTime, ParsesOnlyRealDatesInTheFixedForm) {
  EXPECT_EQ(ParseLocalTime("2001-06-30 22:25:44"), 993939944);
  EXPECT_EQ(ParseLocalTime("2038-01-19 03:14:08"), std::int64_t{INT32_MAX} + 1);
  EXPECT_FALSE(ParseLocalTime("2001-02-30 10:00:00").has_value());
  EXPECT_FALSE(ParseLocalTime("2001-06-30 22:61:00").has_value());
  EXPECT_FALSE(ParseLocalTime("2001-06-30").has_value());
  EXPECT_FALSE(ParseLocalTime("2001-06-30 22:25:44 extra").has_value());
  for (const char* loose : {" 2001-06-30 22:25:44", "2001-06-30 22:25:44 ", "2001-6-30 22:25:44", "2001-06-30 2:25:44",
                            "2001-06-30 22:25:4", "+001-06-30 22:25:44", "2001-06-30T22:25:44", "2001-06-30  2:25:44",
                            "2001-06-+3 22:25:44"}) {
    EXPECT_FALSE(ParseLocalTime(loose).has_value()) << loose;
  }
}

// install-deps generates ja_JP.UTF-8; the desktop program's dates and GTK's texts use it.
TEST(LocalTime, TheDesktopProgramPrefersJapaneseDatesOnlyUnderUtf8) {
  std::setlocale(LC_ALL, "C");  // no UTF-8: Japanese dates could not be converted
  EXPECT_FALSE(PreferJapaneseMessagesAndDates());
  EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "C");

  std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_TRUE(PreferJapaneseMessagesAndDates());
  EXPECT_EQ(FormatLocalTime(993939944, "%a"), "土");
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C.UTF-8");
  std::setlocale(LC_ALL, "C.UTF-8");
}

}  // namespace
}  // namespace tovalen
