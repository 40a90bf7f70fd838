// The plain conversions: '%', the flags '-' and '0' only, a written width,
// then d i u x X c or s. They make up nearly every format the program writes
// with, so the format loop reads them without the general decoding: each
// byte still goes through the state table, and the field is laid out as the
// general field writer lays it out (fill, sign, zeros, text, left-side
// fill). Anything else is left to the general path, untouched.
// Inline, for the format loop alone: it is the hot path of every call.
#pragma once

#include <string.h>

#include <array>

#include "bounded/sec_output.h"

// Largest width read here; a longer one goes the general way (with its limit).
inline constexpr int k_plain_width_limit = 100000;

// One plain conversion as read: its flags and width, and once converted its
// text (in digits for integers and characters) and sign.
struct PlainField {
  uint32_t flags;
  int width;
  unsigned char type;
  char sign;  // '-' or 0
  const char *text;
  int textLen;
  char digits[16];
};

// The conversion characters of the plain conversions.
inline bool SecIsPlainType(unsigned char ch) {
  switch (ch) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 's':
    case 'c': return true;
    default: return false;
  }
}

// Reads the conversion text after a '%' (the reader in STATE_PERCENT):
// returns the byte after the conversion character, or nullptr (nothing
// consumed) when it is not a plain conversion.
inline const char *SecReadPlainSpec(const char *f, PlainField *p) {
  uint8_t state = STATE_PERCENT;
  p->flags = 0;
  p->width = 0;
  for (;; ++f) {
    const auto ch = static_cast<unsigned char>(*f);
    const uint8_t next = SecDecodeState(ch, state);
    if (next == STATE_TYPE) {
      if (!SecIsPlainType(ch)) return nullptr;
      p->type = ch;
      return f + 1;
    }
    if (next == STATE_FLAG && (ch == '-' || ch == '0')) {
      p->flags |= ch == '-' ? FLAG_LEFT : FLAG_ZERO;
    } else if (next == STATE_WIDTH && ch != '*' && p->width < k_plain_width_limit) {
      p->width = (state == STATE_WIDTH ? p->width * 10 : 0) + (ch - '0');
    } else {
      return nullptr;
    }
    state = next;
  }
}

// The bare conversions "%d" "%i" "%u" "%x" "%X" "%c" "%s" (no flag, no
// width), read from the byte after the '%' without the table walk: the
// type byte alone takes the reader from STATE_PERCENT to STATE_TYPE, as
// the table would. Returns the byte after the type, or nullptr.
inline const char *SecReadBareSpec(const char *f, PlainField *p) {
  const auto ch = static_cast<unsigned char>(*f);
  if (!SecIsPlainType(ch)) return nullptr;
  p->flags = 0;
  p->width = 0;
  p->type = ch;
  return f + 1;
}

// The argument of an integer conversion (d i u x X) as its magnitude; a
// negative 'd' or 'i' sets *sign to '-'.
// ArgList is a va_list held by the caller or a va_list parameter (an array
// type decays to a pointer there on some targets): either way ap is advanced.
template <typename ArgList>
inline uint32_t SecTakePlainInt(unsigned char type, ArgList &ap, char *sign) {
  if (type != 'd' && type != 'i') return va_arg(ap, unsigned int);
  const int v = va_arg(ap, int);
  uint32_t value = static_cast<uint32_t>(v);
  if (v < 0) {
    value = 0u - value;
    *sign = '-';
  }
  return value;
}

// Number of digits of value in the conversion's radix: 1 for 0.
inline int SecPlainIntDigitCount(uint32_t value, unsigned char type) {
  const int bits = 32 - __builtin_clz(value | 1u);
  if (type == 'x' || type == 'X') return (bits + 3) / 4;
  static constexpr std::array<uint32_t, 10> kPowers = {
      1u, 10u, 100u, 1000u, 10000u, 100000u, 1000000u, 10000000u, 100000000u, 1000000000u};
  const int guess = (bits * 1233) >> 12;  // bits * log10(2), rounded down
  return guess + ((value | 1u) >= kPowers[guess] ? 1 : 0);
}

// Writes the digits of value backwards, ending just before end: decimal for
// d i u, hexadecimal in the lower set ('X': upper) for x X, one '0' for 0.
// Returns the first digit.
inline char *SecPutPlainIntDigits(char *end, uint32_t value, unsigned char type) {
  char *first = end;
  if (type == 'x' || type == 'X') {
    const char *set = type == 'X' ? g_itoaUpperDigits : g_itoaLowerDigits;
    for (; value != 0; value >>= 4) *--first = set[value & 0xFu];
  } else {
    first = SecWriteDecimal(end, value);
  }
  if (first == end) *--first = '0';
  return first;
}

// Takes the argument and makes the text, as the general conversions do:
// integers in the lower digit set ('X': upper) with a '-' for negative 'd'
// and 'i' and one '0' for 0; 'c' and 's' without the '0' flag, a null
// string as "(null)".
template <typename ArgList>
inline void SecConvertPlain(PlainField *p, ArgList &ap) {
  p->sign = 0;
  if (p->type == 's') {
    p->flags &= ~FLAG_ZERO;
    const char *str = va_arg(ap, const char *);
    if (str == nullptr) str = strNullString;
    size_t len = 0;  // short strings measured here, longer ones by the C library
    while (len < 16 && str[len] != '\0') ++len;
    if (len == 16) len += strlen(str + 16);
    p->text = str;
    p->textLen = len > 0x7FFFFFFFu ? 0 : static_cast<int>(len);
    return;
  }
  char *end = p->digits + sizeof p->digits;
  if (p->type == 'c') {
    p->flags &= ~FLAG_ZERO;
    end[-1] = static_cast<char>(va_arg(ap, int));
    p->text = end - 1;
    p->textLen = 1;
    return;
  }
  const uint32_t value = SecTakePlainInt(p->type, ap, &p->sign);
  p->text = SecPutPlainIntDigits(end, value, p->type);
  p->textLen = static_cast<int>(end - p->text);
}

// Bytes of the whole field.
inline int SecPlainFieldSize(const PlainField &p) {
  const int body = (p.sign != 0 ? 1 : 0) + p.textLen;
  return p.width > body ? p.width : body;
}

// Copies len bytes (0 or more): up to 32 by at most two overlapping moves of
// a fixed size, longer texts with the C library's memcpy.
inline void SecCopyText(char *dest, const char *text, int len) {
  if (len > 32) {
    memcpy(dest, text, static_cast<size_t>(len));
  } else if (len > 16) {
    char head[16];
    char tail[16];
    memcpy(head, text, 16);
    memcpy(tail, text + len - 16, 16);
    memcpy(dest, head, 16);
    memcpy(dest + len - 16, tail, 16);
  } else if (len > 0) {
    SecCopyShort(dest, text, len);
  }
}

// Lays the field out at dest, which has room for all of it.
inline void SecPutPlainField(char *dest, const PlainField &p) {
  const int body = (p.sign != 0 ? 1 : 0) + p.textLen;
  const int pad = p.width > body ? p.width - body : 0;
  if ((p.flags & FLAG_LEFT) != 0) {
    if (p.sign != 0) *dest++ = p.sign;
    SecCopyText(dest, p.text, p.textLen);
    if (pad != 0) SecFillShortOrMore(dest + p.textLen, ' ', pad);
  } else if ((p.flags & FLAG_ZERO) != 0) {
    if (p.sign != 0) *dest++ = p.sign;
    if (pad != 0) SecFillShortOrMore(dest, '0', pad);
    SecCopyText(dest + pad, p.text, p.textLen);
  } else {
    if (pad != 0) SecFillShortOrMore(dest, ' ', pad);
    dest += pad;
    if (p.sign != 0) *dest++ = p.sign;
    SecCopyText(dest, p.text, p.textLen);
  }
}

// A field that may not fit: handed to the general field writer, which
// writes it piece by piece and byte by byte as far as the room lasts.
inline void SecWritePlainFieldChecked(OutputEngine *e, const PlainField &p) {
  ConversionSpec &s = e->spec;
  s.flags = p.flags;
  s.fieldWidth = p.width;
  s.textIsWide = 0;
  s.text.str = p.text;
  s.textLen = p.textLen;
  s.prefixLen = p.sign != 0 ? 1 : 0;
  s.prefix[0] = p.sign;
  SecWriteField(e);
}
