// The engine's common path, inline so that every entry point runs it without
// a call: SecVsnprintfImpl sets up the cursor, SecOutputS writes the literal
// text and plain conversions that fit the room, and the terminator follows.
// The first byte of the format that needs more (any other conversion, text
// or a field that may not fit) hands the call, where it stands, to the
// general format loop, SecOutputResume.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <string.h>

#include <array>

#include "bounded/sec_output.h"
#include "bounded/sec_output_plain.h"

// The general format loop, from format byte f on: charsOut characters are
// written so far and the reader is in state (STATE_NORMAL or STATE_TYPE).
// argList stands at the next argument. pending, when not null, is a plain
// conversion already read and converted that did not fit the room; it is
// written first, as far as the room lasts.
// The character count, or -1.
int SecOutputResume(OutputCursor *stream, const char *f, int charsOut, uint8_t state,
                    va_list argList, const PlainField *pending);

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

// Writes the literal run at *f when it fits the room, moving the cursor, the
// room, the count and *f past it; false (nothing moved) when it does not.
inline bool SecPutLiteralRun(char **cursor, int *remaining, int *charsOut, const char **f) {
  const char *end = SecLiteralEnd(*f);
  const auto len = end - *f;
  if (len > *remaining) return false;
  SecCopyText(*cursor, *f, static_cast<int>(len));
  *cursor += len;
  *remaining -= static_cast<int>(len);
  *charsOut += static_cast<int>(len);
  *f = end;
  return true;
}

// Formats into stream; the character count, or -1. The arguments are taken
// from argList itself, which the caller no longer reads. Literal runs and plain
// conversions that fit are written here with the cursor, the room and the
// count in locals (so that the bytes written cannot be taken to change
// them); everything else goes on in the general loop.
__attribute__((always_inline)) inline int SecOutputS(OutputCursor *stream, const char *format,
                                                     va_list argList) {
  char *cursor = stream->cursor;
  int remaining = stream->remaining;
  int charsOut = 0;
  const char *f = format;
  uint8_t state = STATE_NORMAL;
  PlainField field;
  const PlainField *pending = nullptr;
  for (;;) {
    if (*f == '\0') {
      stream->cursor = cursor;
      stream->remaining = remaining;
      return charsOut;
    }
    if (*f != '%') {
      if (!SecPutLiteralRun(&cursor, &remaining, &charsOut, &f)) break;
      state = STATE_NORMAL;
      continue;
    }
    // A bare conversion: no fill, so the field is its sign and its text.
    const char *after = SecReadBareSpec(f + 1, &field);
    if (after != nullptr) {
      if (field.type == 'c' && remaining >= 1) {
        *cursor++ = static_cast<char>(va_arg(argList, int));
        --remaining;
        ++charsOut;
        f = after;
        state = STATE_TYPE;
        continue;
      }
      if (field.type != 'c' && field.type != 's') {
        // An integer: its digits are counted first and, when the field
        // fits, written straight to the destination.
        field.sign = 0;
        const uint32_t value = SecTakePlainInt(field.type, argList, &field.sign);
        const int digits = SecPlainIntDigitCount(value, field.type);
        const int size = (field.sign != 0 ? 1 : 0) + digits;
        f = after;
        state = STATE_TYPE;
        if (size > remaining) {
          char *end = field.digits + sizeof field.digits;
          field.text = SecPutPlainIntDigits(end, value, field.type);
          field.textLen = digits;
          pending = &field;
          break;
        }
        if (field.sign != 0) *cursor++ = field.sign;
        cursor += digits;
        SecPutPlainIntDigits(cursor, value, field.type);
        remaining -= size;
        charsOut += size;
        continue;
      }
      SecConvertPlain(&field, argList);
      f = after;
      state = STATE_TYPE;
      const int size = (field.sign != 0 ? 1 : 0) + field.textLen;
      if (size > remaining) {
        pending = &field;
        break;
      }
      if (field.sign != 0) *cursor++ = field.sign;
      SecCopyText(cursor, field.text, field.textLen);
      cursor += field.textLen;
      remaining -= size;
      charsOut += size;
      continue;
    }
    after = SecReadPlainSpec(f + 1, &field);
    if (after == nullptr) break;
    SecConvertPlain(&field, argList);
    f = after;
    state = STATE_TYPE;
    const int size = SecPlainFieldSize(field);
    if (size > remaining) {
      pending = &field;
      break;
    }
    SecPutPlainField(cursor, field);
    cursor += size;
    remaining -= size;
    charsOut += size;
  }
  stream->cursor = cursor;
  stream->remaining = remaining;
  return SecOutputResume(stream, f, charsOut, state, argList, pending);
}

// A call whose text did not fit or failed: the cut text terminated in its
// last byte (OUTPUT_TRUNCATED) or an empty string (-1).
int SecEndFailedOutput(char *strDest, size_t size, const OutputCursor &stream);

// Common core of the entry points: the count, OUTPUT_TRUNCATED or -1.
__attribute__((always_inline)) inline int SecVsnprintfImpl(char *strDest, size_t size,
                                                           const char *format, va_list argList) {
  OutputCursor stream{static_cast<int>(size), strDest};
  const int ret = SecOutputS(&stream, format, argList);
  if (ret >= 0 && SecPutZeroChar(&stream)) return ret;
  return SecEndFailedOutput(strDest, size, stream);
}
