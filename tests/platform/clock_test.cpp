#include "platform/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace tovalen {
namespace {

TEST(Clock, FakeClockIsSetAdvancedAndRestored) {
  {
    ScopedFakeClock clock(1000);
    EXPECT_EQ(Clock::Now(), 1000);
    clock.Advance(5);
    EXPECT_EQ(Clock::Now32(), 1005);
  }
  EXPECT_NEAR(static_cast<double>(Clock::Now()), static_cast<double>(std::time(nullptr)), 2.0);
}

TEST(Time32, RangeAndWrappingArithmetic) {
  EXPECT_EQ(ToTime32(INT32_MAX), INT32_MAX);
  EXPECT_FALSE(ToTime32(std::int64_t{INT32_MAX} + 1).has_value());
  EXPECT_FALSE(ToTime32(std::int64_t{INT32_MIN} - 1).has_value());
  EXPECT_EQ(AddWrapping32(INT32_MAX, 1), INT32_MIN);
  EXPECT_EQ(AddWrapping32(100, -30), 70);
  EXPECT_EQ(SubtractWrapping32(INT32_MIN, 1), INT32_MAX);
  EXPECT_EQ(SubtractWrapping32(70, 100), -30);
}

}  // namespace
}  // namespace tovalen
