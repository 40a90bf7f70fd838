// Whole years taken off a count of days, in a constant number of steps.
#include <cstdint>

#include "decode/time_text.h"

namespace {

constexpr std::int64_t kCycleYears = 400;
constexpr std::int64_t kCycleDays = 146097;  // the leap rule repeats every 400 years

// Days from the start of year 0 to the start of year y (0 <= y <= 400):
// 365 a year and one more for each leap year before y (year 0 is one).
constexpr std::int64_t days_before(std::int64_t y) {
  return 365 * y + (y + 3) / 4 - (y + 99) / 100 + (y + 399) / 400;
}
static_assert(days_before(1) == 366 && days_before(101) == 36890 &&
              days_before(kCycleYears) == kCycleDays);

}  // namespace

// The same result as taking one year at a time while the days left are at
// least the current year's length: the start year is moved to its place in
// the 400-year cycle, whole cycles are taken off at once, and the year
// within the last cycle is first estimated from 366-day years (it can be
// one short, never over) and then corrected. The last day of a leap year
// (365 left) stays in it. A negative count takes no year off.
int years(int days, int *year) {
  if (days < 0) return days;
  const std::int64_t start = *year;
  const std::int64_t start_in_cycle = ((start % kCycleYears) + kCycleYears) % kCycleYears;
  // Days from the start of the start year's cycle: the target day.
  const std::int64_t target = days_before(start_in_cycle) + days;
  const std::int64_t cycles = target / kCycleDays;
  const std::int64_t rest = target % kCycleDays;
  std::int64_t y = rest / 366;
  if (days_before(y + 1) <= rest) ++y;
  *year = static_cast<int>(start - start_in_cycle + cycles * kCycleYears + y);
  return static_cast<int>(rest - days_before(y));
}
