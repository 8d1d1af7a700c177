// When a range runs out, in words, and the times it is told from.
#include "cli/forecast.h"

#include <gtest/gtest.h>

#include "files/clock.h"

namespace {

using std::chrono::seconds;

const Seconds kNow = *ParseIsoTime("2026-12-09T12:00:00Z");

struct RunOutCase {
  std::uint64_t left, lastDay;
  const char* text;
};

TEST(RunOut, RoundsToTheNearestHourOrDayAndNamesTheDay) {
  const RunOutCase cases[] = {
      {0, 0, "is used up"},
      {0, 500, "is used up"},
      {10, 0, "handed out nothing in the last 24 hours"},
      {1, 24 * 60, "runs out in less than 2 hours, on 2026-12-09"},  // a minute
      {3, 48, "runs out in about 2 hours, on 2026-12-09"},           // 90 minutes
      {89, 24 * 60, "runs out in less than 2 hours, on 2026-12-09"},
      {150, 24 * 60, "runs out in about 3 hours, on 2026-12-09"},  // two and a half
      {35, 24, "runs out in about 35 hours, on 2026-12-10"},
      {36, 24, "runs out in about 2 days, on 2026-12-11"},  // a day and a half
      {59, 24, "runs out in about 2 days, on 2026-12-11"},
      {60, 24, "runs out in about 3 days, on 2026-12-12"},
      {3650, 10, "runs out in about 365 days, on 2027-12-09"},
  };
  for (const RunOutCase& c : cases) {
    ledger::RangeSummary range;
    range.left = c.left;
    range.lastDay = c.lastDay;
    EXPECT_EQ(RunOutText(range, kNow), c.text) << c.left << " left, " << c.lastDay << " a day";
  }
}

TEST(RunOut, ABlockOfMillionsAtAFewADayNeitherOverflowsNorNamesAYearPast9999) {
  for (const std::uint64_t left : {std::uint64_t{1} << 24, (std::uint64_t{1} << 48) - 1}) {
    ledger::RangeSummary range;
    range.left = left;
    range.lastDay = 3;
    EXPECT_EQ(RunOutText(range, kNow), "runs out in more than 100 years") << left;
    EXPECT_EQ(IsoTime(*ledger::RunsOut(range, kNow)), "9999-12-31T23:59:59Z") << left;
  }
  ledger::RangeSummary century;
  century.left = 36524;
  century.lastDay = 1;
  EXPECT_EQ(RunOutText(century, kNow), "runs out in about 36524 days, on 2126-12-09");
}

TEST(IsoTime, TakesOnlyItsOwnFormDigitForDigit) {
  EXPECT_EQ(IsoTime(kNow), "2026-12-09T12:00:00Z");
  EXPECT_EQ(*ParseIsoTime("2028-02-29T23:59:59Z") - kNow, seconds(38'663'999));
  for (const char* refused :
       {"", "2026-12-09", "2026-1-9T1:2:3Z", "2026-12-09T12:00:00", "2026-12-09 12:00:00Z",
        "2026-12-09T+1:00:00Z", "+026-12-09T12:00:00Z", "2026-12-09T12:00:00Z ", "2026-13-09T12:00:00Z",
        "2026-02-29T12:00:00Z", "2026-12-09T24:00:00Z", "2026-12-09T12:60:00Z", "2026-12-09T12:00:60Z",
        "2026-12-09t12:00:00z"}) {
    EXPECT_FALSE(ParseIsoTime(refused)) << refused;
  }
}

}  // namespace
