#include "schedule/yoyaku_repeat.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <ctime>

#include "platform/local_time.h"
#include "schedule/yoyaku_schedule.h"
#include "schedule/yoyaku_working_list.h"
#include "support/reservation.h"

namespace tovalen {
namespace {

using ::testing::ElementsAre;

// The tests run in UTC; these cases need a zone with daylight saving.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;
};

SYoyaku At(const std::string& local, Span32 length, const std::string& file = "/v/news.avi") {
  return testing::Reservation(*ParseLocalTime(local), length, "ニュース", file);
}

std::vector<std::string> LocalStarts(const std::vector<SYoyaku>& list) {
  std::vector<std::string> starts;
  for (const auto& y : list) starts.push_back(FormatLocalTime(y.timeStart, "%a %F %T"));
  return starts;
}

TEST(Repeat, WeeklyKeepsTheLocalTimeAcrossDaylightSavingAndDatesEachFile) {
  ScopedTimeZone berlin("Europe/Berlin");  // clocks go forward on 2026-03-29
  const auto weeks = ExpandRepeat(At("2026-03-22 20:00:00", 1800), YoyakuRepeat::kWeekly, 3);
  ASSERT_TRUE(weeks);
  EXPECT_THAT(LocalStarts(*weeks),
              ElementsAre("Sun 2026-03-22 20:00:00", "Sun 2026-03-29 20:00:00", "Sun 2026-04-05 20:00:00"));
  EXPECT_EQ((*weeks)[1].timeStart - (*weeks)[0].timeStart, 7 * 86400 - 3600);
  EXPECT_EQ((*weeks)[2].strFileName, "/v/news_2026-04-05.avi");
  EXPECT_EQ((*weeks)[0].strFileName, "/v/news_2026-03-22.avi");
  EXPECT_EQ((*weeks)[2].strTitle, "ニュース");
  EXPECT_EQ((*weeks)[2].spanDuration, 1800);
}

TEST(Repeat, WeekdaysSkipTheWeekendAndDailyCountsEveryDay) {
  const auto weekdays = ExpandRepeat(At("2026-12-25 23:30:00", 600), YoyakuRepeat::kWeekdays, 3);
  ASSERT_TRUE(weekdays);
  EXPECT_THAT(LocalStarts(*weekdays),
              ElementsAre("Fri 2026-12-25 23:30:00", "Mon 2026-12-28 23:30:00", "Tue 2026-12-29 23:30:00"));
  const auto fromSaturday = ExpandRepeat(At("2026-12-26 08:00:00", 600), YoyakuRepeat::kWeekdays, 1);
  EXPECT_THAT(LocalStarts(*fromSaturday), ElementsAre("Mon 2026-12-28 08:00:00"));
  const auto daily = ExpandRepeat(At("2026-12-31 08:00:00", 600), YoyakuRepeat::kDaily, 52);
  ASSERT_EQ(daily->size(), 52u);
  EXPECT_EQ(daily->back().strFileName, "/v/news_2027-02-20.avi");
}

TEST(Repeat, RefusesABadCountAndAnOccurrencePastWhatTheFileHolds) {
  const SYoyaku one = At("2026-12-24 08:00:00", 600, "news");
  EXPECT_FALSE(ExpandRepeat(one, YoyakuRepeat::kDaily, 0));
  EXPECT_FALSE(ExpandRepeat(one, YoyakuRepeat::kDaily, 53));
  EXPECT_FALSE(ExpandRepeat(At("2038-01-18 08:00:00", 600), YoyakuRepeat::kDaily, 2));
  EXPECT_THAT(*ExpandRepeat(one, YoyakuRepeat::kNone, 0), ElementsAre(one));  // no repeat: as entered
  EXPECT_EQ((*ExpandRepeat(one, YoyakuRepeat::kDaily, 1))[0].strFileName, "news_2026-12-24");
}

TEST(Repeat, TheDateGoesBeforeTheExtensionOfTheFileItself) {
  EXPECT_EQ(DatedFileName("news.avi", 2026, 12, 24), "news_2026-12-24.avi");
  EXPECT_EQ(DatedFileName("/v/a.b/news", 2026, 1, 2), "/v/a.b/news_2026-01-02");
  EXPECT_EQ(DatedFileName("C:\\tv\\.avi", 2026, 1, 2), "C:\\tv\\.avi_2026-01-02");
  EXPECT_EQ(DatedFileName("x.tar.avi", 2026, 1, 2), "x.tar_2026-01-02.avi");
}

class RepeatInsert : public ::testing::Test {
 protected:
  RepeatInsert() {
    CYoyakuSchedule schedule;
    schedule.AddYoyaku(At("2026-12-26 08:05:00", 60, "/v/other.avi"));
    list = CYoyakuWorkingList(schedule);
  }
  CYoyakuWorkingList list;
};

TEST_F(RepeatInsert, AddsAllOrNothingAndNamesTheFirstClash) {
  const auto days = *ExpandRepeat(At("2026-12-24 08:00:00", 600), YoyakuRepeat::kDaily, 4);
  const auto clash = list.InsertAll(days);
  ASSERT_TRUE(clash);
  EXPECT_EQ(clash->added.strFileName, "/v/news_2026-12-26.avi");
  EXPECT_EQ(clash->other.strFileName, "/v/other.avi");
  EXPECT_EQ(list.Count(), 1u);

  EXPECT_FALSE(list.InsertAll(*ExpandRepeat(At("2026-12-24 09:00:00", 600), YoyakuRepeat::kDaily, 4)));
  EXPECT_EQ(list.Count(), 5u);
}

TEST_F(RepeatInsert, OccurrencesLongerThanTheirIntervalClashWithEachOther) {
  const auto days = *ExpandRepeat(At("2027-01-04 08:00:00", 86401), YoyakuRepeat::kDaily, 2);
  const auto clash = list.InsertAll(days);
  ASSERT_TRUE(clash);
  EXPECT_EQ(clash->added.strFileName, "/v/news_2027-01-05.avi");
  EXPECT_EQ(clash->other.strFileName, "/v/news_2027-01-04.avi");
}

TEST_F(RepeatInsert, AnEditedReservationMakesWayForItsRepeats) {
  const auto weeks = *ExpandRepeat(At("2026-12-26 08:00:00", 600), YoyakuRepeat::kWeekly, 2);
  EXPECT_FALSE(list.InsertAll(weeks, 0));
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.Items()[0].strFileName, "/v/news_2026-12-26.avi");
  EXPECT_THROW(list.InsertAll(weeks, 2), std::out_of_range);
}

}  // namespace
}  // namespace tovalen
