// Digits of an integer, written backwards from the end of a buffer.
#include <array>

#include "bounded/sec_output.h"

namespace {

// "00" to "99": decimal digits are made two at a time.
constexpr std::array<char, 200> k_digit_pairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

template <typename Unsigned>
char *SecWriteDecimal(char *end, Unsigned value) {
  char *p = end;
  while (value >= 100) {
    const auto pair = static_cast<unsigned>(value % 100) * 2;
    value /= 100;
    p -= 2;
    p[0] = k_digit_pairs[pair];
    p[1] = k_digit_pairs[pair + 1];
  }
  if (value >= 10) {
    const auto pair = static_cast<unsigned>(value) * 2;
    p -= 2;
    p[0] = k_digit_pairs[pair];
    p[1] = k_digit_pairs[pair + 1];
  } else if (value != 0) {
    *--p = static_cast<char>('0' + value);
  }
  return p;
}

}  // namespace

// Writes the digits of value backwards, ending just before end, and returns
// the first; 0 gives no digits. Decimal and octal digits come from the lower
// set, hexadecimal from set. Shifts and divisions by constants replace the
// division by a radix held in a variable.
char *SecWriteDigits(char *end, uint64_t value, int radix, const char *set) {
  char *p = end;
  if (radix == 16) {
    for (; value != 0; value >>= 4) *--p = set[value & 0xFu];
    return p;
  }
  if (radix == 8) {
    for (; value != 0; value >>= 3) *--p = g_itoaLowerDigits[value & 0x7u];
    return p;
  }
  if (value <= 0xFFFFFFFFu) return SecWriteDecimal(end, static_cast<uint32_t>(value));
  return SecWriteDecimal(end, value);
}

