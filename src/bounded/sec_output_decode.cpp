// The format reader inside a conversion: the actions on entering the flag,
// width, precision and size states, and the loop that takes a conversion's
// bytes through the state table (here, so that the small actions are inlined
// into it).
#include <string.h>

#include "bounded/sec_engine.h"

void SecResetSpec(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  s.flags = 0;
  s.fieldWidth = 0;
  s.textLen = 0;
  s.textIsWide = 0;
  s.prefixLen = 0;
  s.widthFromArg = 0;
  s.precisionFromArg = 0;
  s.precision = -1;
  e->floatPending = 0;
}

void SecDecodeFlags(OutputEngine *e) {
  switch (e->ch) {
    case '+': e->spec.flags |= FLAG_SIGN; break;
    case ' ': e->spec.flags |= FLAG_SPACE; break;
    case '-': e->spec.flags |= FLAG_LEFT; break;
    case '0': e->spec.flags |= FLAG_ZERO; break;
    case '#': e->spec.flags |= FLAG_ALTERNATE; break;
    default: break;
  }
}

bool SecDecodeWidth(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  if (e->ch == '*') {
    int w = va_arg(e->args->ap, int);
    s.widthFromArg = 1;
    if (w < 0) {
      s.flags |= FLAG_LEFT;
      if (w < -MAX_WIDTH_FROM_ARG) return false;
      w = -w;
    }
    s.fieldWidth = w;
    return true;
  }
  s.widthFromArg = 0;
  if (e->lastState != STATE_WIDTH) s.fieldWidth = 0;  // a later width replaces an earlier one
  if (s.fieldWidth > MAX_WIDTH_BEFORE_DIGIT) return false;
  s.fieldWidth = s.fieldWidth * 10 + (e->ch - '0');
  return true;
}

bool SecDecodePrecision(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  if (e->ch == '*') {
    int p = va_arg(e->args->ap, int);
    s.precisionFromArg = 1;
    if (p < 0) p = -1;
    if (p > MAX_WIDTH_FROM_ARG) return false;
    s.precision = p;
    return true;
  }
  if (s.precision < 0) return true;  // digits after a negative '*' leave no precision
  if (s.precision > MAX_WIDTH_BEFORE_DIGIT) return false;
  s.precision = s.precision * 10 + (e->ch - '0');
  return true;
}

namespace {

// 'I', 'I64', 'I32': false when the 'I' is not a size here.
bool SecDecodeSizeI(OutputEngine *e) {
  const char *f = e->format;
  e->spec.flags |= FLAG_64BIT;
  if (f[0] == '6' && f[1] == '4') {
    e->format += 2;
    return true;
  }
  if (f[0] == '3' && f[1] == '2') {
    e->format += 2;
    e->spec.flags &= ~FLAG_64BIT;
    return true;
  }
  return f[0] != '\0' && strchr("diouxX", f[0]) != nullptr;
}

}  // namespace

void SecDecodeSize(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  switch (e->ch) {
    case 'l':
      if (*e->format == 'l') {
        ++e->format;
        s.flags |= FLAG_LONG_LONG;
      } else {
        s.flags |= FLAG_LONG;
      }
      break;
    case 'h':
      if (*e->format == 'h') {
        ++e->format;
        s.flags |= FLAG_CHAR;
      } else {
        s.flags |= FLAG_SHORT;
      }
      break;
    case 'L':
    case 'q': s.flags |= FLAG_LONG_DOUBLE | FLAG_LONG_LONG; break;
    case 'z':
    case 'Z': s.flags |= FLAG_SIZE; break;
    case 'j': s.flags |= FLAG_INTMAX; break;
    case 't': s.flags |= FLAG_PTRDIFF; break;
    case 'w': s.flags |= FLAG_WIDE; break;
    case 'I':
      if (!SecDecodeSizeI(e)) {
        // Not a size: the 'I' is ordinary text and the conversion is dropped.
        SecOutputOneChar(e, 'I');
        e->state = STATE_NORMAL;
      }
      break;
    default: break;  // 'N' sets nothing
  }
}

// One conversion through the state table (see sec_engine.h).
bool SecReadConversion(OutputEngine *e) {
  for (;;) {
    const auto ch = static_cast<unsigned char>(*e->format);
    if (ch == '\0') return true;  // unfinished: the caller's final test fails it
    ++e->format;
    e->ch = ch;
    e->lastState = e->state;
    e->state = SecDecodeState(ch, e->lastState);
    switch (e->state) {
      case STATE_TYPE: return SecDecodeType(e);
      case STATE_FLAG: SecDecodeFlags(e); break;
      case STATE_WIDTH:
        if (!SecDecodeWidth(e)) return false;
        break;
      case STATE_DOT: e->spec.precision = 0; break;
      case STATE_PRECISION:
        if (!SecDecodePrecision(e)) return false;
        break;
      case STATE_SIZE:
        SecDecodeSize(e);
        if (e->state == STATE_NORMAL) return true;
        break;
      case STATE_NORMAL:  // "%%"
        SecOutputOneChar(e, static_cast<char>(ch));
        return true;
      default: return false;  // STATE_INVALID
    }
  }
}
