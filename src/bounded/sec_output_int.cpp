// Integer and pointer conversions: d i o u x X p. The digits are built
// backwards from the end of the work buffer, so nothing is allocated.
#include "bounded/sec_engine.h"

namespace {

constexpr uint32_t k_wide_sizes =
    FLAG_64BIT | FLAG_INTMAX | FLAG_PTRDIFF | FLAG_SIZE | FLAG_LONG | FLAG_LONG_LONG;

void SecUpdateXpxFlags(ConversionSpec &s, unsigned char type) {
  s.digits = type == 'X' ? g_itoaUpperDigits : g_itoaLowerDigits;
  s.radix = 16;
  if (type == 'p') {
    // SecUpdatePointFlags: a written precision is overridden.
    s.flags |= FLAG_POINTER | FLAG_ALTERNATE | FLAG_64BIT;
    s.precision = 0;
  }
  if ((s.flags & FLAG_ALTERNATE) != 0) {
    s.prefix[0] = '0';
    s.prefix[1] = s.digits[16];
    s.prefixLen = 2;
  }
}

void SecUpdateOudiFlags(ConversionSpec &s, unsigned char type) {
  s.digits = g_itoaLowerDigits;
  s.radix = 10;
  if (type == 'd' || type == 'i') {
    s.flags |= FLAG_SIGNED;
  } else if (type == 'o') {
    s.radix = 8;
    if ((s.flags & FLAG_ALTERNATE) != 0) s.flags |= FLAG_FORCE_OCTAL;
  }
}

// Byte-sized value: for signed conversions 128..255 are negative; the
// magnitude is kept and FLAG_NEGATIVE set.
uint64_t SecUpdateNegativeChar(ConversionSpec &s, int arg) {
  unsigned int byte = static_cast<unsigned int>(arg) & 0xFFu;
  if ((s.flags & FLAG_SIGNED) != 0 && byte >= 0x80u) {
    s.flags |= FLAG_NEGATIVE;
    return 0x100u - byte;
  }
  return byte;
}

constexpr uint32_t k_read_sizes = FLAG_POINTER | k_wide_sizes | FLAG_CHAR | FLAG_SHORT;

// Reads the argument by size flags, first matching row winning.
uint64_t SecReadInteger(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  va_list &ap = e->args->ap;
  bool is_signed = (s.flags & FLAG_SIGNED) != 0;
  if ((s.flags & k_read_sizes) == 0) {
    // No size: the common case, taken first; the rows below keep their order.
    if (is_signed) return static_cast<uint64_t>(static_cast<int64_t>(va_arg(ap, int)));
    return va_arg(ap, unsigned int);
  }
  if ((s.flags & FLAG_POINTER) != 0) {
    return reinterpret_cast<uintptr_t>(va_arg(ap, void *));
  }
  if ((s.flags & (FLAG_64BIT | FLAG_LONG_LONG)) != 0) {
    return static_cast<uint64_t>(va_arg(ap, long long));
  }
  if ((s.flags & FLAG_LONG) != 0) return static_cast<uint64_t>(va_arg(ap, long));
  if ((s.flags & FLAG_CHAR) != 0) return SecUpdateNegativeChar(s, va_arg(ap, int));
  if ((s.flags & FLAG_SHORT) != 0) {
    int v = va_arg(ap, int);
    if (is_signed) return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(v)));
    return static_cast<uint16_t>(v);
  }
  if ((s.flags & FLAG_PTRDIFF) != 0) return static_cast<uint64_t>(va_arg(ap, ptrdiff_t));
  if ((s.flags & FLAG_SIZE) != 0) return va_arg(ap, size_t);
  if ((s.flags & FLAG_INTMAX) != 0) return static_cast<uint64_t>(va_arg(ap, intmax_t));
  if (is_signed) return static_cast<uint64_t>(static_cast<int64_t>(va_arg(ap, int)));
  return va_arg(ap, unsigned int);
}

// Returns the magnitude written (0 gives no digits and drops the prefix).
uint64_t SecNumberToBuffer(ConversionSpec &s, uint64_t value) {
  if ((s.flags & FLAG_SIGNED) != 0 && static_cast<int64_t>(value) < 0) {
    s.flags |= FLAG_NEGATIVE;
    value = 0 - value;
  }
  if ((s.flags & k_wide_sizes) == 0) value &= 0xFFFFFFFFu;
  char *end = s.workBuffer.data() + s.workBuffer.size();
  char *p = SecWriteDigits(end, value, s.radix, s.digits);
  s.text.str = p;
  s.textLen = static_cast<int>(end - p);
  if (value == 0) s.prefixLen = 0;
  return value;
}

// Puts a '0' in front of the digits, which end at the end of the work
// buffer; the buffer is full only when the text already starts with '0'.
void SecPrependZero(ConversionSpec &s) {
  if (s.textLen >= WORK_BUFFER_SIZE) return;
  ++s.textLen;
  char *first = s.workBuffer.data() + (WORK_BUFFER_SIZE - s.textLen);
  *first = '0';
  s.text.str = first;
}

void SecNumberSatisfyPrecision(ConversionSpec &s) {
  int minimum = 1;
  if (s.precision >= 0) {
    if ((s.flags & FLAG_POINTER) == 0) s.flags &= ~FLAG_ZERO;
    minimum = s.precision > MAX_INT_PRECISION ? MAX_INT_PRECISION : s.precision;
  }
  while (s.textLen < minimum) SecPrependZero(s);
}

void SecNumberForceOctal(ConversionSpec &s) {
  if ((s.flags & FLAG_FORCE_OCTAL) == 0) return;
  if (s.textLen == 0 || s.text.str[0] != '0') SecPrependZero(s);
}

void SecUpdateSignedNumberPrefix(ConversionSpec &s) {
  if ((s.flags & FLAG_SIGNED) == 0) return;
  if ((s.flags & FLAG_NEGATIVE) != 0) {
    s.prefix[0] = '-';
  } else if ((s.flags & FLAG_SIGN) != 0) {
    s.prefix[0] = '+';
  } else if ((s.flags & FLAG_SPACE) != 0) {
    s.prefix[0] = ' ';
  } else {
    return;
  }
  s.prefixLen = 1;
}

void SecNumberCompatZero(ConversionSpec &s, uint64_t value) {
  if (value != 0 || (s.flags & FLAG_POINTER) == 0) return;
  s.text.str = strNullPointer;
  s.textLen = 5;
  s.flags &= ~FLAG_ZERO;
}

}  // namespace

void SecDecodeTypeInt(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  unsigned char type = e->ch;
  if (type == 'x' || type == 'X' || type == 'p') {
    SecUpdateXpxFlags(s, type);
  } else {
    SecUpdateOudiFlags(s, type);
  }
  uint64_t value = SecNumberToBuffer(s, SecReadInteger(e));
  SecNumberSatisfyPrecision(s);
  SecNumberForceOctal(s);
  SecUpdateSignedNumberPrefix(s);
  SecNumberCompatZero(s, value);
  SecWriteField(e);
}
