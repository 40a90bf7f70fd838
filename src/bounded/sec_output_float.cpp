// Floating-point conversions: e E f F g G. The conversion is rebuilt as a
// single-conversion format and handed to the C library; its text, which
// carries its own fill, is then written through the cursor.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bounded/sec_engine.h"

namespace {

constexpr int k_max_double_precision = 214748011;
constexpr int k_max_long_double_precision = 214743388;
constexpr int k_double_text_extra = 351;        // sign, 309 integer digits, point, exponent
constexpr int k_long_double_text_extra = 4974;  // the same for the long double range

struct FloatScratch {
  std::array<char, 16> specBuf;
  const char *spec;
  char *heapSpec;
  char *heapText;
  int textSize;
};

// Picks the text buffer: the work buffer up to 512 bytes, else the heap.
bool SecInitFloatBuffer(OutputEngine *e, FloatScratch &fs, char **text) {
  ConversionSpec &s = e->spec;
  bool is_long = (s.flags & FLAG_LONG_DOUBLE) != 0;
  if (s.precision < 0) s.precision = 6;
  if (s.precision > (is_long ? k_max_long_double_precision : k_max_double_precision)) {
    return false;
  }
  int64_t size = static_cast<int64_t>(s.precision) +
                 (is_long ? k_long_double_text_extra : k_double_text_extra);
  if (s.fieldWidth > size) size = static_cast<int64_t>(s.fieldWidth) + 2;
  if (size > 0x7FFFFFFF) return false;
  fs.textSize = static_cast<int>(size);
  if (size <= WORK_BUFFER_SIZE) {
    *text = s.workBuffer.data();
    return true;
  }
  fs.heapText = static_cast<char *>(malloc(static_cast<size_t>(size)));
  *text = fs.heapText;
  return fs.heapText != nullptr;
}

// Rebuilds the conversion from what was decoded: flags, width ('*' when it
// came from an argument), precision, 'L' for a long double and the
// conversion character. Other size characters are not passed on, so the
// library reads exactly the value type handed to it.
int SecBuildFloatSpec(const OutputEngine *e, std::array<char, 40> &out) {
  const ConversionSpec &s = e->spec;
  int n = 0;
  out[n++] = '%';
  if ((s.flags & FLAG_LEFT) != 0) out[n++] = '-';
  if ((s.flags & FLAG_SIGN) != 0) out[n++] = '+';
  if ((s.flags & FLAG_SPACE) != 0) out[n++] = ' ';
  if ((s.flags & FLAG_ALTERNATE) != 0) out[n++] = '#';
  if ((s.flags & FLAG_ZERO) != 0) out[n++] = '0';
  if (s.widthFromArg != 0) {
    out[n++] = '*';
  } else if (s.fieldWidth > 0) {
    n += snprintf(out.data() + n, out.size() - static_cast<size_t>(n), "%d", s.fieldWidth);
  }
  if (s.precisionFromArg != 0) {
    out[n++] = '.';
    out[n++] = '*';
  } else {
    n += snprintf(out.data() + n, out.size() - static_cast<size_t>(n), ".%d", s.precision);
  }
  if ((s.flags & FLAG_LONG_DOUBLE) != 0) out[n++] = 'L';
  out[n++] = static_cast<char>(e->ch);
  out[n] = '\0';
  return n;
}

bool SecInitFloatFmt(const OutputEngine *e, FloatScratch &fs) {
  std::array<char, 40> built{};
  int len = SecBuildFloatSpec(e, built);
  if (len + 1 <= static_cast<int>(fs.specBuf.size())) {
    memcpy(fs.specBuf.data(), built.data(), static_cast<size_t>(len) + 1);
    fs.spec = fs.specBuf.data();
    return true;
  }
  fs.heapSpec = static_cast<char *>(malloc(static_cast<size_t>(len) + 1));
  if (fs.heapSpec == nullptr) {
    free(fs.heapText);
    fs.heapText = nullptr;
    return false;
  }
  memcpy(fs.heapSpec, built.data(), static_cast<size_t>(len) + 1);
  fs.spec = fs.heapSpec;
  return true;
}

void SecFreeFloatBuffer(FloatScratch &fs) {
  free(fs.heapText);
  free(fs.heapSpec);
  fs.heapText = nullptr;
  fs.heapSpec = nullptr;
}

int SecFormatFloatText(char *text, int size, const char *spec, ...) {
  va_list ap;
  va_start(ap, spec);
  int n = vsnprintf(text, static_cast<size_t>(size), spec, ap);
  va_end(ap);
  return n;
}

// Hands the '*' width (negated for a left-aligned field), the '*'
// precision and the value to the library, as the rebuilt text asks for them.
template <typename Value>
int SecFormatFloatArgs(const OutputEngine *e, const FloatScratch &fs, char *text, Value v) {
  const ConversionSpec &s = e->spec;
  int width = (s.flags & FLAG_LEFT) != 0 ? -s.fieldWidth : s.fieldWidth;
  if (s.widthFromArg != 0 && s.precisionFromArg != 0) {
    return SecFormatFloatText(text, fs.textSize, fs.spec, width, s.precision, v);
  }
  if (s.widthFromArg != 0) return SecFormatFloatText(text, fs.textSize, fs.spec, width, v);
  if (s.precisionFromArg != 0) {
    return SecFormatFloatText(text, fs.textSize, fs.spec, s.precision, v);
  }
  return SecFormatFloatText(text, fs.textSize, fs.spec, v);
}

int SecFormatDboule(const OutputEngine *e, const FloatScratch &fs, char *text, double v) {
  return SecFormatFloatArgs(e, fs, text, v);
}

int SecFormatLongDboule(const OutputEngine *e, const FloatScratch &fs, char *text,
                        long double v) {
  return SecFormatFloatArgs(e, fs, text, v);
}

}  // namespace

void SecDecodeTypeFloat(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  if ((e->ch == 'g' || e->ch == 'G') && s.precision == 0) s.precision = 1;
  e->floatPending = 1;
  FloatScratch fs{};
  char *text = nullptr;
  bool ready = SecInitFloatBuffer(e, fs, &text) && SecInitFloatFmt(e, fs);
  // The value is taken even when the conversion is refused, so that later
  // conversions read their own arguments.
  int n = 0;
  if ((s.flags & FLAG_LONG_DOUBLE) != 0) {
    long double v = va_arg(e->args->ap, long double);
    if (ready) n = SecFormatLongDboule(e, fs, text, v);
  } else {
    double v = va_arg(e->args->ap, double);
    if (ready) n = SecFormatDboule(e, fs, text, v);
  }
  if (ready) {
    if (n < 0 || n >= fs.textSize) n = 0;
    SecWriteStringChk(e, text, n);
  }
  SecFreeFloatBuffer(fs);
}
