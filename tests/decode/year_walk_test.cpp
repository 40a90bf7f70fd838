// The constant-step year computation against the year walk it replaced: one
// step per year, kept here as the oracle. For counts over the whole 64-bit
// range the walk is run once, year by year, recording where every year
// starts; a count's year is then looked up in that record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "decode/time_text.h"
#include "support/temp_log.h"

namespace {

// Every test here runs with the operation log pointed at a private file: the
// conversions log a message for a month out of range, and none may reach the
// host's log. Each test checks that nothing was logged.
class Calendar : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(log_.text(), ""); }
  testsupport::TempLog log_;
};
class YearWalk : public Calendar {};
class TimeTextCalendar : public Calendar {};

constexpr std::uint64_t kDayUs = 86400000000ull;
constexpr int kMaxDays = static_cast<int>(UINT64_MAX / 1000000 / 86400);  // 213,503,982

// The year walk: while the days left are at least the current year's
// length, take that length off and advance the year.
int walk_years(int days, int *year) {
  for (;;) {
    const int length = is_leap_year(*year) ? 366 : 365;
    if (days < length) return days;
    days -= length;
    *year += 1;
  }
}

// Day (from year 0) on which each year starts, as the walk passes it, up to
// the first year past the largest count.
const std::vector<std::int64_t> &walked_year_starts() {
  static const std::vector<std::int64_t> starts = [] {
    std::vector<std::int64_t> s{0};
    for (int y = 0; s.back() <= kMaxDays; ++y) s.push_back(s.back() + (is_leap_year(y) ? 366 : 365));
    return s;
  }();
  return starts;
}

// The walk's year and day of the year for days from year 0.
void walked(int days, int *year, int *day_of_year) {
  const auto &starts = walked_year_starts();
  const auto next = std::upper_bound(starts.begin(), starts.end(), std::int64_t{days});
  *year = static_cast<int>(next - starts.begin()) - 1;
  *day_of_year = days - static_cast<int>(starts[static_cast<std::size_t>(*year)]);
}

// The time text as the conversion made it with the walk.
std::string walked_text(std::uint64_t count) {
  const std::uint64_t seconds = count / 1000000;
  const auto days = static_cast<int>(seconds / 86400);
  const std::uint64_t tod = seconds % 86400;
  int year = 0;
  int day = 0;
  walked(days, &year, &day);
  day += 1;
  int mon = 1;
  month(&mon, &day, year);
  char out[64];
  std::snprintf(out, sizeof out, "%04d/%02d/%02d %02d:%02d:%02d %03d:%03d", year, mon, day,
                static_cast<int>(tod / 3600), static_cast<int>(tod / 60 % 60),
                static_cast<int>(tod % 60), static_cast<int>(count % 1000000 / 1000),
                static_cast<int>(count % 1000));
  return out;
}

std::string time_text(std::uint64_t count) {
  char out[100] = {};
  ustoymdhmsmsus(count, out);
  return out;
}

// The first and last microsecond of the day and their neighbours.
void expect_day_edges(std::int64_t day) {
  const std::uint64_t first = static_cast<std::uint64_t>(day) * kDayUs;
  for (std::uint64_t count : {first - 1, first, first + 1, first + kDayUs - 1}) {
    if (count > UINT64_MAX - kDayUs) continue;
    ASSERT_EQ(time_text(count), walked_text(count)) << count;
  }
}

TEST_F(YearWalk, RecordOfTheWalkAgreesWithTheWalkItself) {
  for (int days : {0, 365, 366, 730, 146096, 146097, 1000000, kMaxDays}) {
    int year = 0;
    const int rest = walk_years(days, &year);
    int walked_year = 0;
    int walked_day = 0;
    walked(days, &walked_year, &walked_day);
    EXPECT_EQ(walked_year, year) << days;
    EXPECT_EQ(walked_day, rest) << days;
  }
}

TEST_F(YearWalk, SameYearAndDayFromAnyStartYear) {
  // Start years at the leap rule's turns, negative ones included; day counts
  // at year, century and cycle lengths.
  const int starts[] = {0, 1, 3, 4, 99, 100, 101, 399, 400, 401, 1600, 1900, 1999, 2000, 2023,
                        2024, 2100, -1, -4, -100, -399, -400, -401, -2024};
  const int counts[] = {-5, -1, 0, 1, 58, 59, 364, 365, 366, 729, 730, 1460, 1461, 36524, 36525,
                        36526, 146096, 146097, 146098, 292193, 292194, 1000000, kMaxDays};
  for (int start : starts) {
    for (int days : counts) {
      int walk_year = start;
      int year = start;
      const int walk_rest = walk_years(days, &walk_year);
      EXPECT_EQ(years(days, &year), walk_rest) << start << " " << days;
      EXPECT_EQ(year, walk_year) << start << " " << days;
    }
  }
}

TEST_F(YearWalk, EveryDayOfTheFirstTwoCyclesFromEveryStartInACycle) {
  std::mt19937 rng(20261208);
  for (int start = 0; start < 400; start += 1) {
    int walk_year = start;
    int walk_rest = 0;
    // Each day count once, walked incrementally: the walk of d + 1 days goes
    // on from the walk of d days.
    int base_year = start;
    int consumed = 0;
    for (int days = 0; days < 2 * 146097 + 3; days += 1 + static_cast<int>(rng() % 3)) {
      walk_year = base_year;
      walk_rest = walk_years(days - consumed, &walk_year);
      consumed = days - walk_rest;
      base_year = walk_year;
      int year = start;
      ASSERT_EQ(years(days, &year), walk_rest) << start << " " << days;
      ASSERT_EQ(year, walk_year) << start << " " << days;
    }
  }
}

TEST_F(TimeTextCalendar, EveryYearBoundaryUpTo2500) {
  const auto &starts = walked_year_starts();
  for (std::size_t y = 0; y <= 2501; ++y) expect_day_edges(starts[y]);
}

TEST_F(TimeTextCalendar, AroundEveryFourHundredYearCycle) {
  for (std::int64_t cycle = 1; cycle * 146097 <= kMaxDays + 1; ++cycle) {
    for (std::int64_t around : {-366, -365, -1, 0, 1, 59, 60, 365, 366}) {
      const std::int64_t day = cycle * 146097 + around;
      if (day > kMaxDays) continue;
      expect_day_edges(day);
    }
  }
}

TEST_F(TimeTextCalendar, MillionRandomCounts) {
  std::mt19937_64 rng(0xca1e4da5u);
  for (int i = 0; i < 1000000; ++i) {
    std::uint64_t count = rng();
    if (i % 2 != 0) count >>= rng() % 64;  // half over the whole range, half at every magnitude
    ASSERT_EQ(time_text(count), walked_text(count)) << count;
  }
}

TEST_F(TimeTextCalendar, LargestCounts) {
  for (std::uint64_t back = 0; back < 5000; ++back) {
    const std::uint64_t count = UINT64_MAX - back * 999983ull;
    ASSERT_EQ(time_text(count), walked_text(count)) << count;
  }
  const std::uint64_t last_day = static_cast<std::uint64_t>(kMaxDays) * kDayUs;
  for (std::uint64_t count : {last_day - 1, last_day, last_day + 1, UINT64_MAX}) {
    ASSERT_EQ(time_text(count), walked_text(count)) << count;
  }
  EXPECT_EQ(time_text(UINT64_MAX), "584554/01/18 08:01:49 551:615");
}

}  // namespace
