// Month walk of the time conversion.
#include <cstdio>

#include "decode/time_text.h"
#include "oplog/oplog.h"

namespace {

constexpr char kMonthOutOfRange[] = "the month is out of arange\n\r";

int month_length(int mon, int year) {
  constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return mon == 2 && is_leap_year(year) ? 29 : kLengths[mon - 1];
}

}  // namespace

void month(int *mon, int *day, int year) {
  for (;;) {
    if (*mon > 12) {
      std::printf("%s", kMonthOutOfRange);
      recorde_log(kMonthOutOfRange, 1);
      return;
    }
    if (*mon < 1) return;
    const int length = month_length(*mon, year);
    if (*day <= length) return;
    *day -= length;
    *mon += 1;
  }
}
