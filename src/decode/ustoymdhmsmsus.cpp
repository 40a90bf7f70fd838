// Time text of an event record's microsecond count.
#include <cstdio>

#include "decode/time_text.h"

void ustoymdhmsmsus(std::uint64_t count, std::span<char> out) {
  if (out.empty()) return;
  const auto micro = static_cast<int>(count % 1000);
  const auto milli = static_cast<int>((count % 1000000 - count % 1000) / 1000);
  const std::uint64_t whole_seconds = count / 1000000;
  // At most 213,503,982 days in a 64-bit count: fits an int.
  const auto day_count = static_cast<int>(whole_seconds / 86400);
  // The product stays below 2^53, so the double is exact and this is
  // whole_seconds mod 86,400.
  const auto day_seconds =
      whole_seconds - static_cast<std::uint64_t>(day_count * 24.0 * 3600.0);
  const auto minutes = static_cast<int>((day_seconds / 60) % 60);
  const auto hours = static_cast<int>(day_seconds / 3600);
  const auto seconds = static_cast<int>(day_seconds - (hours * 3600 + minutes * 60));

  int year = 0;
  int day = years(day_count, &year) + 1;
  int mon = 1;
  month(&mon, &day, year);

  std::snprintf(out.data(), out.size(), "%04d/%02d/%02d %02d:%02d:%02d %03d:%03d", year, mon,
                day, hours, minutes, seconds, milli, micro);
}
