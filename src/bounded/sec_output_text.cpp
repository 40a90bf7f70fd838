// Character and string conversions: c C s S, narrow and wide.
#include <string.h>

#include "bounded/sec_engine.h"

namespace {

constexpr uint32_t k_explicit_width_sizes =
    FLAG_SHORT | FLAG_CHAR | FLAG_LONG | FLAG_LONG_LONG | FLAG_WIDE;

bool SecTextIsWide(const ConversionSpec &s) {
  return (s.flags & (FLAG_WIDE | FLAG_LONG)) != 0;
}

// Narrow length bounded by the precision (none: the whole string); a length
// that does not fit a signed 32-bit count becomes 0.
int SecNarrowLength(const char *str, int precision) {
  size_t len = precision < 0 ? strlen(str) : strnlen(str, static_cast<size_t>(precision));
  return len > 0x7FFFFFFFu ? 0 : static_cast<int>(len);
}

// Wide characters up to the precision taken as unsigned (none: to the end).
int SecWideLength(const wchar_t *str, int precision) {
  size_t limit = static_cast<size_t>(static_cast<unsigned int>(precision));
  if (precision < 0) limit = static_cast<size_t>(-1);
  size_t len = 0;
  while (len < limit && str[len] != L'\0') ++len;
  return len > 0x7FFFFFFFu ? 0 : static_cast<int>(len);
}

}  // namespace

void SecDecodeTypeC(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  if (e->ch == 'C' && (s.flags & k_explicit_width_sizes) == 0) s.flags |= FLAG_WIDE;
  s.flags &= ~FLAG_ZERO;
  s.textLen = 1;
  int arg = va_arg(e->args->ap, int);
  if (SecTextIsWide(s)) {
    wchar_t wc = static_cast<wchar_t>(arg);
    memcpy(s.workBuffer.data(), &wc, sizeof wc);
    s.text.wstr = reinterpret_cast<const wchar_t *>(s.workBuffer.data());
    s.textIsWide = 1;
  } else {
    s.workBuffer[0] = static_cast<char>(arg);
    s.text.str = s.workBuffer.data();
  }
  SecWriteField(e);
}

void SecDecodeTypeS(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  if (e->ch == 'S' && (s.flags & k_explicit_width_sizes) == 0) s.flags |= FLAG_WIDE;
  s.flags &= ~FLAG_ZERO;
  if (SecTextIsWide(s)) {
    const wchar_t *str = va_arg(e->args->ap, const wchar_t *);
    if (str == nullptr) str = wStrNullString;
    s.text.wstr = str;
    s.textLen = SecWideLength(str, s.precision);
    s.textIsWide = 1;
  } else {
    const char *str = va_arg(e->args->ap, const char *);
    if (str == nullptr) str = strNullString;
    s.text.str = str;
    s.textLen = SecNarrowLength(str, s.precision);
  }
  SecWriteField(e);
}
