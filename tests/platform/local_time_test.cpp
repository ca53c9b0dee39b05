#include "platform/local_time.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tovalen
