// Year walk of the time conversion.
#include "decode/time_text.h"

// One step per year in constant stack space: about 600,000 steps for the
// largest 64-bit count. The last day of a leap year (365 left) stays in it.
int years(int days, int *year) {
  for (;;) {
    const int length = is_leap_year(*year) ? 366 : 365;
    if (days < length) return days;
    days -= length;
    *year += 1;
  }
}
