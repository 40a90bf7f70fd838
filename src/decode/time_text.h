// Conversion of the expander's 64-bit microsecond counts into the time text
// "YYYY/MM/DD hh:mm:ss mmm:uuu". A count is the time since the first instant
// of year 0 of the proleptic Gregorian calendar; no zone or leap second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Leap years: divisible by 4 and not by 100, or divisible by 400 (year 0 is
// one; 100, 200 and 300 are not).
constexpr bool is_leap_year(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Longest time text (a six-digit year near the top of the 64-bit range) and
// its terminator.
inline constexpr std::size_t kTimeTextMax = 29;

// Writes the time text of count, NUL-terminated, into out. Never writes more
// than out.size() bytes; out needs kTimeTextMax + 1 bytes for the whole text.
void ustoymdhmsmsus(std::uint64_t count, std::span<char> out);

// Takes whole years off days, starting at *year: returns the day of the year
// reached (from 0) and leaves the year reached in *year.
int years(int days, int *year);

// Takes whole months off *day (counted from 1 within month *mon of year):
// on return *mon and *day hold the month reached and the day within it.
// A month above 12 prints and logs "the month is out of arange\n\r" and
// changes nothing; a month below 1 changes nothing.
void month(int *mon, int *day, int year);
