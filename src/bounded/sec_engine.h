// The ground of the formatting engine behind sprintf_s and its kin: a
// table-driven state machine over the format, writing through a cursor that
// counts down the bytes still free so the capacity is enforced at every byte.
// Here are its types, tables, digit writers and write paths; its loops over
// the format are in sec_format_loop.h (fast) and sec_format_loop.cpp.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <array>

#include "bounded/sec_short_copy.h"

// Result of SecVsnprintfImpl when the text was cut to the size given.
constexpr int OUTPUT_TRUNCATED = -2;

// Character classes of the format bytes.
constexpr uint8_t CLASS_OTHER = 0;
constexpr uint8_t CLASS_PERCENT = 1;
constexpr uint8_t CLASS_DOT = 2;
constexpr uint8_t CLASS_STAR = 3;
constexpr uint8_t CLASS_ZERO = 4;
constexpr uint8_t CLASS_DIGIT = 5;
constexpr uint8_t CLASS_FLAG = 6;
constexpr uint8_t CLASS_SIZE = 7;
constexpr uint8_t CLASS_TYPE = 8;
constexpr int CLASS_COUNT = 9;

// States of the format reader.
constexpr uint8_t STATE_NORMAL = 0;
constexpr uint8_t STATE_PERCENT = 1;
constexpr uint8_t STATE_FLAG = 2;
constexpr uint8_t STATE_WIDTH = 3;
constexpr uint8_t STATE_DOT = 4;
constexpr uint8_t STATE_PRECISION = 5;
constexpr uint8_t STATE_SIZE = 6;
constexpr uint8_t STATE_TYPE = 7;
constexpr uint8_t STATE_INVALID = 8;
constexpr int STATE_COUNT = 9;

// Conversion flags.
constexpr uint32_t FLAG_SIGN = 0x1;
constexpr uint32_t FLAG_SPACE = 0x2;
constexpr uint32_t FLAG_LEFT = 0x4;
constexpr uint32_t FLAG_ZERO = 0x8;
constexpr uint32_t FLAG_LONG = 0x10;
constexpr uint32_t FLAG_SHORT = 0x20;
constexpr uint32_t FLAG_SIGNED = 0x40;
constexpr uint32_t FLAG_ALTERNATE = 0x80;
constexpr uint32_t FLAG_NEGATIVE = 0x100;
constexpr uint32_t FLAG_FORCE_OCTAL = 0x200;
constexpr uint32_t FLAG_LONG_DOUBLE = 0x400;
constexpr uint32_t FLAG_WIDE = 0x800;
constexpr uint32_t FLAG_LONG_LONG = 0x1000;
constexpr uint32_t FLAG_CHAR = 0x2000;
constexpr uint32_t FLAG_POINTER = 0x4000;
constexpr uint32_t FLAG_64BIT = 0x8000;
constexpr uint32_t FLAG_PTRDIFF = 0x10000;
constexpr uint32_t FLAG_SIZE = 0x20000;
constexpr uint32_t FLAG_INTMAX = 0x40000;

// Limits on widths and precisions while they are decoded.
constexpr int MAX_WIDTH_BEFORE_DIGIT = 21474836;  // width * 10 + digit stays in range
constexpr int MAX_WIDTH_FROM_ARG = 214748360;
// Integer text is built in the work buffer, so precision is capped at its size.
constexpr int WORK_BUFFER_SIZE = 512;
constexpr int MAX_INT_PRECISION = WORK_BUFFER_SIZE;

// Byte class table (256 entries) followed by the transitions
// (class * STATE_COUNT + previous state).
extern const std::array<uint8_t, 256 + CLASS_COUNT * STATE_COUNT> g_stateTable;

extern const char g_itoaLowerDigits[];
extern const char g_itoaUpperDigits[];
extern const char strNullString[];
extern const wchar_t wStrNullString[];
extern const char strNullPointer[];

// Destination of one call: bytes still free (terminator included) and the
// next byte to write. A negative remaining means the text was cut.
struct OutputCursor {
  int remaining;
  char *cursor;
};

// The conversion being decoded; largely reset at each '%'.
struct ConversionSpec {
  const char *digits;
  union {
    const char *str;
    const wchar_t *wstr;
  } text;
  int textLen;  // characters (wide characters when wide)
  int textIsWide;
  int radix;
  uint32_t flags;
  int fieldWidth;
  int precision;  // -1: none
  int widthFromArg;
  int precisionFromArg;
  int padCount;
  int prefixLen;
  std::array<char, 2> prefix;
  alignas(wchar_t) std::array<char, WORK_BUFFER_SIZE> workBuffer;
};

// Holder for the argument list, so that helpers advance one shared list on
// every target (va_list is an array on some, a structure on others).
struct SecArgList {
  va_list ap;
};

// Everything one call of the engine keeps.
struct OutputEngine {
  OutputCursor *stream;
  ConversionSpec spec;
  SecArgList *args;
  const char *format;        // next byte of the format
  uint8_t state;
  uint8_t lastState;
  unsigned char ch;
  int charsOut;              // -1 once the output overflowed or failed
  int floatPending;
};

// Next state for byte ch after state lastState: the byte's class, then the
// transition from lastState. Inline: the format loop takes it for every
// byte of every conversion.
inline uint8_t SecDecodeState(unsigned char ch, uint8_t lastState) {
  if (lastState >= STATE_COUNT) return STATE_INVALID;
  const uint8_t cls = g_stateTable[ch];
  return g_stateTable[256 + cls * STATE_COUNT + lastState];
}

// Actions on entering the decoding states; false fails the call.
void SecResetSpec(OutputEngine *e);
void SecDecodeFlags(OutputEngine *e);
bool SecDecodeWidth(OutputEngine *e);
bool SecDecodePrecision(OutputEngine *e);
void SecDecodeSize(OutputEngine *e);

// Reads one conversion, from the byte after its '%' (the reader is in
// STATE_PERCENT) until it is complete (STATE_TYPE), turned out to be text
// ("%%", or an 'I' that is no size: STATE_NORMAL), or the format ends. Each
// byte goes through the state table and the action of the state entered;
// false fails the call.
bool SecReadConversion(OutputEngine *e);

// Hexadecimal digits of value backwards from set (lower or upper), ending
// just before end; the first is returned, and 0 gives no digits.
template <typename Unsigned>
inline char *SecWriteHex(char *end, Unsigned value, const char *set) {
  char *p = end;
  for (; value != 0; value >>= 4) *--p = set[value & 0xFu];
  return p;
}

// Writes the digits of value backwards, ending just before end, and returns
// the first; 0 gives no digits. Decimal and octal digits come from the lower
// set, hexadecimal from set.
char *SecWriteDigits(char *end, uint64_t value, int radix, const char *set);

// "00" to "99": decimal digits are made two at a time.
inline constexpr std::array<char, 200> g_digitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Decimal digits of value backwards, ending just before end; the first is
// returned, and 0 gives no digits.
template <typename Unsigned>
inline char *SecWriteDecimal(char *end, Unsigned value) {
  char *p = end;
  while (value >= 100) {
    const auto pair = static_cast<unsigned>(value % 100) * 2;
    value /= 100;
    p -= 2;
    p[0] = g_digitPairs[pair];
    p[1] = g_digitPairs[pair + 1];
  }
  if (value >= 10) {
    const auto pair = static_cast<unsigned>(value) * 2;
    p -= 2;
    p[0] = g_digitPairs[pair];
    p[1] = g_digitPairs[pair + 1];
  } else if (value != 0) {
    *--p = static_cast<char>('0' + value);
  }
  return p;
}

// Conversions.
bool SecDecodeType(OutputEngine *e);
void SecDecodeTypeInt(OutputEngine *e);
void SecDecodeTypeC(OutputEngine *e);
void SecDecodeTypeS(OutputEngine *e);
void SecDecodeTypeFloat(OutputEngine *e);

// Writing through the cursor. The fast paths (the text or fill fits the
// room) are inline; the byte-by-byte paths for what may not fit are not.
inline void SecOutputOneChar(OutputEngine *e, char ch) {
  if (e->charsOut < 0) return;
  OutputCursor *out = e->stream;
  if (--out->remaining >= 0) {
    *out->cursor++ = ch;
    ++e->charsOut;
  } else {
    e->charsOut = -1;
  }
}

// The text may not fit: byte by byte as far as the room lasts.
void SecWriteString(OutputEngine *e, const char *text, int len);
void SecWriteMultiCharSlow(OutputEngine *e, char ch, int count);

// The whole text fits: copy it in one block.
inline void SecWriteStringToStream(OutputEngine *e, const char *text, int len) {
  OutputCursor *out = e->stream;
  SecCopyText(out->cursor, text, len);
  out->cursor += len;
  out->remaining -= len;
  e->charsOut += len;
}

inline void SecWriteStringChk(OutputEngine *e, const char *text, int len) {
  if (e->charsOut < 0 || len <= 0) return;
  if (e->stream->remaining >= len) {
    SecWriteStringToStream(e, text, len);
  } else {
    SecWriteString(e, text, len);
  }
}

inline void SecWriteMultiChar(OutputEngine *e, char ch, int count) {
  if (count <= 0 || e->charsOut < 0) return;
  OutputCursor *out = e->stream;
  if (out->remaining >= count) {
    // All of it fits: one fill, the room and the count moved by the whole.
    SecFill(out->cursor, ch, count);
    out->cursor += count;
    out->remaining -= count;
    e->charsOut += count;
    return;
  }
  SecWriteMultiCharSlow(e, ch, count);
}

void SecWriteWideText(OutputEngine *e, const wchar_t *text, int len);

// The order of a field's parts, for both field writers: the fill before
// the prefix (right-aligned), the prefix (sign or "0x"), the zeros after it
// ('0' flag), the text, the fill after it (left-aligned, '-' flag, which
// overrides '0'). fill(ch, count) is called with count > 0 only.
template <typename Fill, typename Prefix, typename Text>
__attribute__((always_inline)) inline void SecLayOutField(uint32_t flags, int pad, Fill fill,
                                                          Prefix prefix, Text text) {
  const bool left = (flags & FLAG_LEFT) != 0;
  const bool zero = !left && (flags & FLAG_ZERO) != 0;
  if (pad > 0 && !left && !zero) fill(' ', pad);
  prefix();
  if (pad > 0 && zero) fill('0', pad);
  text();
  if (pad > 0 && left) fill(' ', pad);
}

// Field assembly of the integer, character and string conversions, through
// the room test of every write.
inline void SecWriteField(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  s.padCount = s.fieldWidth - s.textLen - s.prefixLen;
  SecLayOutField(
      s.flags, s.padCount, [e](char ch, int count) { SecWriteMultiChar(e, ch, count); },
      [e, &s] { SecWriteStringChk(e, s.prefix.data(), s.prefixLen); },
      [e, &s] {
        if (s.textIsWide != 0) {
          SecWriteWideText(e, s.text.wstr, s.textLen);
        } else {
          SecWriteStringChk(e, s.text.str, s.textLen);
        }
      });
}
// The terminator, through the same room test as every byte.
inline bool SecPutZeroChar(OutputCursor *stream) {
  if (--stream->remaining >= 0) {
    *stream->cursor++ = '\0';
    return true;
  }
  return false;
}

