// Digits of an integer, written backwards from the end of a buffer.
#include "bounded/sec_engine.h"

// Writes the digits of value backwards, ending just before end, and returns
// the first; 0 gives no digits. Decimal and octal digits come from the lower
// set, hexadecimal from set. Shifts and divisions by constants replace the
// division by a radix held in a variable.
char *SecWriteDigits(char *end, uint64_t value, int radix, const char *set) {
  if (radix == 16) return SecWriteHex(end, value, set);
  char *p = end;
  if (radix == 8) {
    for (; value != 0; value >>= 3) *--p = g_itoaLowerDigits[value & 0x7u];
    return p;
  }
  if (value <= 0xFFFFFFFFu) return SecWriteDecimal(end, static_cast<uint32_t>(value));
  return SecWriteDecimal(end, value);
}

