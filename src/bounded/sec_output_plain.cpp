// The plain conversions: '%', the flags '-' and '0' only, a written width,
// then d i u x X c or s. They make up nearly every format the program writes
// with, so they are read and written here without the general decoding: the
// bytes still go through the state table, and the field is assembled by the
// same writer, so the text, the count and the room test are those of the
// general path. Anything else is left to the general path untouched.
#include <string.h>

#include "bounded/sec_output.h"

namespace {

// Copies len bytes (0 or more).
inline void SecCopyText(char *dest, const char *text, int len) {
  if (len > 16) {
    memcpy(dest, text, static_cast<size_t>(len));
  } else if (len > 0) {
    SecCopyShort(dest, text, len);
  }
}

// Largest width read here; a longer one goes the general way (with its limit).
constexpr int k_plain_width_limit = 100000;

// Writes the field of the text at text (textLen bytes) after the prefix
// already in the spec. When the whole field fits the room it is written here
// in one go; otherwise the general field writer takes it piece by piece and
// byte by byte, cutting it where the room ends.
void SecWritePlainField(OutputEngine *e, uint32_t flags, int width, const char *text,
                        int textLen) {
  ConversionSpec &s = e->spec;
  const int body = s.prefixLen + textLen;
  const int pad = width > body ? width - body : 0;
  OutputCursor *out = e->stream;
  if (e->charsOut >= 0 && out->remaining >= body + pad) {
    char *p = out->cursor;
    if ((flags & FLAG_LEFT) != 0) {
      if (s.prefixLen != 0) *p++ = s.prefix[0];
      SecCopyText(p, text, textLen);
      p += textLen;
      if (pad != 0) SecFillShortOrMore(p, ' ', pad);
    } else if ((flags & FLAG_ZERO) != 0) {
      if (s.prefixLen != 0) *p++ = s.prefix[0];
      if (pad != 0) SecFillShortOrMore(p, '0', pad);
      p += pad;
      SecCopyText(p, text, textLen);
    } else {
      if (pad != 0) SecFillShortOrMore(p, ' ', pad);
      p += pad;
      if (s.prefixLen != 0) *p++ = s.prefix[0];
      SecCopyText(p, text, textLen);
    }
    out->cursor += body + pad;
    out->remaining -= body + pad;
    e->charsOut += body + pad;
    return;
  }
  s.flags = flags;
  s.fieldWidth = width;
  s.textIsWide = 0;
  s.text.str = text;
  s.textLen = textLen;
  SecWriteField(e);
}

void SecWritePlainInt(OutputEngine *e, unsigned char type, uint32_t flags, int width) {
  ConversionSpec &s = e->spec;
  s.prefixLen = 0;
  uint32_t value;
  int radix = 10;
  const char *set = g_itoaLowerDigits;
  if (type == 'd' || type == 'i') {
    const int v = va_arg(e->args->ap, int);
    value = static_cast<uint32_t>(v);
    if (v < 0) {
      value = 0u - value;
      s.prefix[0] = '-';
      s.prefixLen = 1;
    }
  } else {
    value = va_arg(e->args->ap, unsigned int);
    if (type != 'u') {
      radix = 16;
      if (type == 'X') set = g_itoaUpperDigits;
    }
  }
  char *end = s.workBuffer.data() + s.workBuffer.size();
  char *first = SecWriteDigits(end, value, radix, set);
  if (first == end) *--first = '0';  // 0: one digit
  SecWritePlainField(e, flags, width, first, static_cast<int>(end - first));
}

void SecWritePlainText(OutputEngine *e, unsigned char type, uint32_t flags, int width) {
  ConversionSpec &s = e->spec;
  s.prefixLen = 0;
  flags &= ~FLAG_ZERO;
  if (type == 'c') {
    s.workBuffer[0] = static_cast<char>(va_arg(e->args->ap, int));
    SecWritePlainField(e, flags, width, s.workBuffer.data(), 1);
    return;
  }
  const char *str = va_arg(e->args->ap, const char *);
  if (str == nullptr) str = strNullString;
  const size_t len = strlen(str);
  SecWritePlainField(e, flags, width, str, len > 0x7FFFFFFFu ? 0 : static_cast<int>(len));
}

}  // namespace

bool SecReadPlainConversion(OutputEngine *e) {
  const char *f = e->format;
  uint8_t state = e->state;  // STATE_PERCENT
  uint32_t flags = 0;
  int width = 0;
  for (;;) {
    const auto ch = static_cast<unsigned char>(*f);
    const uint8_t next = SecDecodeState(ch, state);
    if (next == STATE_TYPE) {
      const bool integer = ch == 'd' || ch == 'i' || ch == 'u' || ch == 'x' || ch == 'X';
      if (!integer && ch != 's' && ch != 'c') return false;
      e->format = f + 1;
      e->ch = ch;
      e->lastState = state;
      e->state = STATE_TYPE;
      if (integer) {
        SecWritePlainInt(e, ch, flags, width);
      } else {
        SecWritePlainText(e, ch, flags, width);
      }
      return true;
    }
    if (next == STATE_FLAG && (ch == '-' || ch == '0')) {
      flags |= ch == '-' ? FLAG_LEFT : FLAG_ZERO;
    } else if (next == STATE_WIDTH && ch != '*' && width < k_plain_width_limit) {
      width = (state == STATE_WIDTH ? width * 10 : 0) + (ch - '0');
    } else {
      return false;
    }
    state = next;
    ++f;
  }
}
