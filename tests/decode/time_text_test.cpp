#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "decode/time_text.h"
#include "support/temp_log.h"

namespace {

std::string time_text(std::uint64_t count) {
  char out[100];
  std::memset(out, 'X', sizeof out);
  ustoymdhmsmsus(count, out);
  return out;
}

struct listed_count {
  std::uint64_t count;
  const char *text;
};

const listed_count kListed[] = {
    {0, "0000/01/01 00:00:00 000:000"},
    {999, "0000/01/01 00:00:00 000:999"},
    {1000, "0000/01/01 00:00:00 001:000"},
    {1000000, "0000/01/01 00:00:01 000:000"},
    {86399999999ull, "0000/01/01 23:59:59 999:999"},
    {86400000000ull, "0000/01/02 00:00:00 000:000"},
    {5097600000000ull, "0000/02/29 00:00:00 000:000"},
    {5184000000000ull, "0000/03/01 00:00:00 000:000"},
    {31536000000000ull, "0000/12/31 00:00:00 000:000"},
    {31622400000000ull, "0001/01/01 00:00:00 000:000"},
    {36720000000000ull, "0001/03/01 00:00:00 000:000"},
    {4294967296ull, "0000/01/01 01:11:34 967:296"},
    {18446744073709551615ull, "584554/01/18 08:01:49 551:615"},
};

TEST(TimeText, ListedCounts) {
  for (const listed_count &c : kListed) {
    EXPECT_EQ(time_text(c.count), c.text) << c.count;
  }
}

TEST(TimeText, LargestCountFillsTwentyNineCharacters) {
  EXPECT_EQ(time_text(UINT64_MAX).size(), kTimeTextMax);
}

TEST(TimeText, NeverWritesPastTheGivenBuffer) {
  char out[12];
  std::memset(out, 'X', sizeof out);
  ustoymdhmsmsus(UINT64_MAX, std::span<char>(out, 8));
  EXPECT_EQ(std::string(out, 8), std::string("584554/") + '\0');
  EXPECT_EQ(std::string(out + 8, 4), "XXXX");
}

// Independent civil calendar: days since 1970-01-01 of a proleptic Gregorian
// date and back, by whole 400-year eras.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct civil {
  std::int64_t y;
  unsigned m, d;
};

civil civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

std::string expected_text(std::uint64_t count) {
  const std::uint64_t us = count % 1000000;
  const std::uint64_t secs = count / 1000000;
  const auto days = static_cast<std::int64_t>(secs / 86400);
  const std::uint64_t tod = secs % 86400;
  const civil c = civil_from_days(days + days_from_civil(0, 1, 1));
  char out[64];
  std::snprintf(out, sizeof out, "%04lld/%02u/%02u %02llu:%02llu:%02llu %03llu:%03llu",
                static_cast<long long>(c.y), c.m, c.d,
                static_cast<unsigned long long>(tod / 3600),
                static_cast<unsigned long long>(tod / 60 % 60),
                static_cast<unsigned long long>(tod % 60),
                static_cast<unsigned long long>(us / 1000),
                static_cast<unsigned long long>(us % 1000));
  return out;
}

TEST(TimeText, ReferenceCalendarAgreesOnKnownDates) {
  EXPECT_EQ(days_from_civil(1970, 1, 1), 0);
  EXPECT_EQ(days_from_civil(0, 3, 1) - days_from_civil(0, 1, 1), 60);  // year 0 is leap
  EXPECT_EQ(expected_text(5097600000000ull), "0000/02/29 00:00:00 000:000");
}

TEST(TimeText, RandomCountsMatchReferenceCalendar) {
  std::mt19937_64 rng(0x5eed1234u);
  for (int i = 0; i < 4000; ++i) {
    std::uint64_t count = rng();
    // A quarter over the whole range, the rest spread over all magnitudes.
    if (i % 4 != 0) count >>= rng() % 64;
    ASSERT_EQ(time_text(count), expected_text(count)) << count;
  }
}

TEST(TimeText, EveryDayBoundaryAroundLeapRulesOfFourCenturies) {
  // Each day of years 0 to 401, its last microsecond and its first.
  const std::uint64_t day_us = 86400000000ull;
  for (std::uint64_t day = 1; day < 402 * 366; day += 1) {
    ASSERT_EQ(time_text(day * day_us - 1), expected_text(day * day_us - 1)) << day;
    ASSERT_EQ(time_text(day * day_us), expected_text(day * day_us)) << day;
  }
}

TEST(Years, LastDayOfLeapYearStaysInIt) {
  int year = 0;
  EXPECT_EQ(years(365, &year), 365);
  EXPECT_EQ(year, 0);
  EXPECT_EQ(years(366, &year), 0);
  EXPECT_EQ(year, 1);
  year = 100;  // not a leap year
  EXPECT_EQ(years(365, &year), 0);
  EXPECT_EQ(year, 101);
}

struct month_case {
  int mon, day, year;
  int want_mon, want_day;
};

TEST(Month, WalksToTheMonthOfTheDay) {
  const month_case cases[] = {
      {2, 29, 0, 2, 29},   {2, 29, 1, 3, 1},    {2, 29, 400, 2, 29}, {2, 29, 100, 3, 1},
      {1, 60, 2024, 2, 29}, {1, 366, 2024, 12, 31}, {1, 365, 2023, 12, 31}, {1, 1, 7, 1, 1},
      {12, 31, 5, 12, 31}, {4, 31, 5, 5, 1},
  };
  for (const month_case &c : cases) {
    testsupport::TempLog log;
    int mon = c.mon;
    int day = c.day;
    month(&mon, &day, c.year);
    EXPECT_EQ(mon, c.want_mon) << c.mon << "/" << c.day << "/" << c.year;
    EXPECT_EQ(day, c.want_day) << c.mon << "/" << c.day << "/" << c.year;
    EXPECT_EQ(log.text(), "");
  }
}

TEST(Month, AboveTwelvePrintsAndLogsWithStampAndChangesNothing) {
  testsupport::TempLog log;
  int mon = 13;
  int day = 77;
  testing::internal::CaptureStdout();
  month(&mon, &day, 2000);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "the month is out of arange\n\r");
  EXPECT_EQ(mon, 13);
  EXPECT_EQ(day, 77);
  const std::string text = log.text();
  ASSERT_EQ(text.size(), 25u + 28u);
  EXPECT_EQ(text.substr(0, 25), std::string(g_cur_time));
  EXPECT_EQ(text.substr(25), "the month is out of arange\n\r");
}

TEST(Month, ZeroOrNegativeDoesNothing) {
  for (int start : {0, -1, -12, INT32_MIN}) {
    testsupport::TempLog log;
    int mon = start;
    int day = 400;
    testing::internal::CaptureStdout();
    month(&mon, &day, 2000);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(mon, start);
    EXPECT_EQ(day, 400);
    EXPECT_EQ(log.text(), "");
  }
}

}  // namespace
