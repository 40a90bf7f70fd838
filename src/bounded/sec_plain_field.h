// The plain conversions: '%', the flags '-' and '0' only, a written width,
// then d i u x X c or s. They make up nearly every format the program writes
// with, so the format loop reads them without the general decoding: each
// byte still goes through the state table, and the field is laid out in the
// one order of SecLayOutField. Anything else is left to the general path,
// untouched.
// Inline, for the format loop alone: it is the hot path of every call.
#pragma once

#include <string.h>

#include <array>

#include "bounded/sec_engine.h"

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
  char *first = type == 'x'   ? SecWriteHex(end, value, g_itoaLowerDigits)
                : type == 'X' ? SecWriteHex(end, value, g_itoaUpperDigits)
                              : SecWriteDecimal(end, value);
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

// Lays the field out at dest, which has room for all of it.
inline void SecPutPlainField(char *dest, const PlainField &p) {
  const int body = (p.sign != 0 ? 1 : 0) + p.textLen;
  SecLayOutField(
      p.flags, p.width - body,
      [&dest](char ch, int count) {
        SecFill(dest, ch, count);
        dest += count;
      },
      [&dest, &p] {
        if (p.sign != 0) *dest++ = p.sign;
      },
      [&dest, &p] {
        SecCopyText(dest, p.text, p.textLen);
        dest += p.textLen;
      });
}

// The bytes that end a literal run: '%' and the terminator.
inline constexpr std::array<bool, 256> g_literalStop = [] {
  std::array<bool, 256> stop{};
  stop[0] = true;
  stop['%'] = true;
  return stop;
}();

// End of the literal text that starts at run: the next '%' or the end of
// the format. Runs of up to 32 bytes are looked at here, longer ones by the
// C library's scan.
inline const char *SecLiteralEnd(const char *run) {
#pragma GCC unroll 32
  for (int i = 0; i < 32; ++i) {
    if (g_literalStop[static_cast<unsigned char>(run[i])]) return run + i;
  }
  return strchrnul(run + 32, '%');
}

// Where a format loop stands: the next byte to write, the room left, the
// characters written, the next format byte and the reader's state. The fast
// loops keep it in a local (so that the bytes written cannot be taken to
// change it) and hand it to the general paths only when they take over.
struct PlainPlace {
  char *cursor;
  int remaining;
  int charsOut;
  const char *f;
  uint8_t state;
};

// Writes the literal run at at->f when it fits the room, moving the place
// past it (the reader in STATE_NORMAL, as the run's last byte leaves it);
// false, nothing moved, when it does not fit.
inline bool SecPutLiteralRun(PlainPlace *at) {
  const char *end = SecLiteralEnd(at->f);
  const auto len = end - at->f;
  if (len > at->remaining) return false;
  SecCopyText(at->cursor, at->f, static_cast<int>(len));
  at->cursor += len;
  at->remaining -= static_cast<int>(len);
  at->charsOut += static_cast<int>(len);
  at->f = end;
  at->state = STATE_NORMAL;
  return true;
}

// Writes n bytes of a field that fit the room at the place.
inline void SecAdvance(PlainPlace *at, int n) {
  at->cursor += n;
  at->remaining -= n;
  at->charsOut += n;
}

enum PlainStepResult : uint8_t {
  PLAIN_WRITTEN,  // the conversion is read, converted and written
  PLAIN_PENDING,  // read and converted into the field, which does not fit
  PLAIN_NONE,     // not a plain conversion: nothing read or taken
};

// A conversion without flags or width, read into *field: there is no fill,
// so the field is its sign and its text. Integers have their digits counted
// first and, when they fit, written straight to the destination; a 'c' its
// byte.
template <typename ArgList>
__attribute__((always_inline)) inline PlainStepResult SecPutBareField(PlainPlace *at,
                                                                      PlainField *field,
                                                                      ArgList &ap) {
  if (field->type == 'c' && at->remaining >= 1) {
    *at->cursor = static_cast<char>(va_arg(ap, int));
    SecAdvance(at, 1);
    return PLAIN_WRITTEN;
  }
  if (field->type != 'c' && field->type != 's') {
    field->sign = 0;
    const uint32_t value = SecTakePlainInt(field->type, ap, &field->sign);
    const int digits = SecPlainIntDigitCount(value, field->type);
    const int signLen = field->sign != 0 ? 1 : 0;
    if (signLen + digits > at->remaining) {
      field->text = SecPutPlainIntDigits(field->digits + sizeof field->digits, value, field->type);
      field->textLen = digits;
      return PLAIN_PENDING;
    }
    if (signLen != 0) *at->cursor = field->sign;
    SecPutPlainIntDigits(at->cursor + signLen + digits, value, field->type);
    SecAdvance(at, signLen + digits);
    return PLAIN_WRITTEN;
  }
  SecConvertPlain(field, ap);
  const int size = (field->sign != 0 ? 1 : 0) + field->textLen;
  if (size > at->remaining) return PLAIN_PENDING;
  if (field->sign != 0) *at->cursor++ = field->sign;
  SecCopyText(at->cursor, field->text, field->textLen);
  at->cursor += field->textLen;
  at->remaining -= size;
  at->charsOut += size;
  return PLAIN_WRITTEN;
}

// The plain-conversion step of both format loops, at the '%' of at->f:
// reads a plain conversion, takes its argument and writes the whole field
// when it fits the room. After PLAIN_WRITTEN and PLAIN_PENDING the reader
// is past the conversion, in STATE_TYPE; a pending field is left in *field
// for the general field writer.
template <typename ArgList>
__attribute__((always_inline)) inline PlainStepResult SecPlainStep(PlainPlace *at,
                                                                   PlainField *field,
                                                                   ArgList &ap) {
  const char *after = SecReadBareSpec(at->f + 1, field);
  if (after != nullptr) {
    at->f = after;
    at->state = STATE_TYPE;
    return SecPutBareField(at, field, ap);
  }
  after = SecReadPlainSpec(at->f + 1, field);
  if (after == nullptr) return PLAIN_NONE;
  at->f = after;
  at->state = STATE_TYPE;
  SecConvertPlain(field, ap);
  const int size = SecPlainFieldSize(*field);
  if (size > at->remaining) return PLAIN_PENDING;
  SecPutPlainField(at->cursor, *field);
  SecAdvance(at, size);
  return PLAIN_WRITTEN;
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
