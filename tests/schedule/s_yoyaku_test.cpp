#include "schedule/s_yoyaku.h"

#include <gtest/gtest.h>

#include "platform/cp932.h"
#include "schedule/archive.h"
#include "support/reservation.h"

namespace tovalen {
namespace {

constexpr Time32 kJune30 = 993939944;  // 2001-06-30 22:25:44 UTC, a Saturday

using testing::Reservation;

TEST(SYoyaku, DefaultTakesTheCurrentTimeAndTheDefaultTexts) {
  ScopedFakeClock clock(kJune30);
  const SYoyaku y;
  EXPECT_EQ(y.timeStart, kJune30);
  EXPECT_EQ(y.spanDuration, 0);
  EXPECT_EQ(y.strTitle, "番組名");
  EXPECT_EQ(y.strFileName, "C:\\capture.avi");
  EXPECT_EQ(y.GetListText(), "2001/06/30(Sat) 22:25:44 ～ 2001/06/30(Sat) 22:25:44, C:\\capture.avi, 番組名");
}

TEST(SYoyaku, ListTextShowsTheEndAndPutsTheFileBeforeTheTitle) {
  SYoyaku y = Reservation(kJune30, 3600 + 60 * 35);  // across midnight
  y.strFileName = "/home/u/a.avi";
  y.strTitle = "ニュース";
  EXPECT_EQ(y.GetListText(), "2001/06/30(Sat) 22:25:44 ～ 2001/07/01(Sun) 00:00:44, /home/u/a.avi, ニュース");
}

TEST(SYoyaku, ListTextIsCutTo255BytesWithoutSplittingACharacter) {
  SYoyaku y = Reservation(kJune30, 0);
  y.strFileName = "f";
  y.strTitle = std::string(300, 'x');
  EXPECT_EQ(Utf8ToCp932(y.GetListText())->size(), 255u);

  y.strTitle = "x" + std::string();
  for (int i = 0; i < 150; ++i) y.strTitle += "番";
  const auto cp932 = Utf8ToCp932(y.GetListText());
  ASSERT_TRUE(cp932.has_value());  // a split character would not convert back
  EXPECT_GE(cp932->size(), 254u);
  EXPECT_LE(cp932->size(), 255u);
}

TEST(SYoyaku, StoresStartAndEndAndLoadsTheLengthBack) {
  SYoyaku y = Reservation(1000, 3600);
  y.strTitle = "t";
  y.strFileName = "f.avi";
  ArchiveWriter writer;
  y.Serialize(writer);
  EXPECT_EQ(writer.Bytes(), std::string("\xE8\x03\0\0\xF8\x11\0\0\x01t\x05"
                                        "f.avi",
                                        16));

  ArchiveReader reader(writer.Bytes());
  SYoyaku loaded;
  loaded.Serialize(reader);
  EXPECT_EQ(loaded, y);
}

TEST(SYoyaku, EndBeforeStartLoadsAsNegativeLengthAndWrapsLikeThirtyTwoBits) {
  ArchiveWriter writer;
  writer.WriteInt32(5000);
  writer.WriteInt32(4000);
  writer.WriteString("");
  writer.WriteString("");
  writer.WriteInt32(INT32_MAX);
  writer.WriteInt32(INT32_MIN);
  writer.WriteString("");
  writer.WriteString("");
  ArchiveReader reader(writer.Bytes());
  SYoyaku y;
  y.Serialize(reader);
  EXPECT_EQ(y.spanDuration, -1000);
  y.Serialize(reader);
  EXPECT_EQ(y.spanDuration, 1);
  EXPECT_EQ(y.GetEndTime(), INT32_MIN);
}

TEST(SYoyaku, TruncatedEntryLeavesTheRecordUntouched) {
  SYoyaku source = Reservation(1000, 60);
  ArchiveWriter writer;
  source.Serialize(writer);
  for (std::size_t size = 0; size < writer.Bytes().size(); ++size) {
    ArchiveReader reader(std::string_view(writer.Bytes()).substr(0, size));
    SYoyaku target = Reservation(7, 7);
    EXPECT_THROW(target.Serialize(reader), ArchiveError);
    EXPECT_EQ(target, Reservation(7, 7)) << size;
  }
}

TEST(SYoyaku, IsPastOnlyOnceTheStartSecondHasGone) {
  ScopedFakeClock clock(2000);
  const SYoyaku y = Reservation(2000, 600);
  EXPECT_FALSE(y.IsPast());
  clock.Advance(1);
  EXPECT_TRUE(y.IsPast());  // even while its recording would still run
}

TEST(SYoyaku, OverlapTreatsSpansAsHalfOpen) {
  const Time32 ten = 36000;
  const SYoyaku a = Reservation(ten, 3600);
  const SYoyaku b = Reservation(ten + 3600, 3600);
  EXPECT_FALSE(a.IsOverlapped(b));
  EXPECT_FALSE(b.IsOverlapped(a));
  const SYoyaku a_longer = Reservation(ten, 3601);
  EXPECT_TRUE(a_longer.IsOverlapped(b));
  EXPECT_TRUE(b.IsOverlapped(a_longer));
  const SYoyaku inside = Reservation(ten + 10, 5);
  EXPECT_TRUE(a.IsOverlapped(inside));
  EXPECT_TRUE(inside.IsOverlapped(a));
}

TEST(SYoyaku, SameStartOverlapDependsOnTheOtherLength) {
  const SYoyaku hour = Reservation(5000, 3600);
  const SYoyaku zero = Reservation(5000, 0);
  EXPECT_TRUE(hour.IsOverlapped(Reservation(5000, 3600)));
  EXPECT_FALSE(hour.IsOverlapped(zero));
  EXPECT_TRUE(zero.IsOverlapped(hour));
}

TEST(SYoyaku, OverlapNearTheEndOfTimeDoesNotWrap) {
  const SYoyaku late = Reservation(INT32_MAX - 10, 100);  // an end past 2038 from a damaged file
  EXPECT_TRUE(late.IsOverlapped(Reservation(INT32_MAX - 5, 1)));
  EXPECT_FALSE(Reservation(0, 10).IsOverlapped(late));
}

TEST(SYoyaku, EarlierStartIsStrict) {
  EXPECT_TRUE(IsEarlierStart(Reservation(1, 100), Reservation(2, 0)));
  EXPECT_FALSE(IsEarlierStart(Reservation(2, 0), Reservation(1, 100)));
  EXPECT_FALSE(IsEarlierStart(Reservation(2, 0), Reservation(2, 9)));
}

}  // namespace
}  // namespace tovalen
