// The general format loop of the engine, and the end of a failed call.
#include <string.h>

#include "bounded/sec_format_loop.h"

namespace {

// Sets up the engine for one call. Of the conversion fields only the digit
// set and the radix carry over between conversions (each conversion sets its
// own before use) and the rest is set at every '%', so nothing else is
// cleared here: not the 512-byte work buffer, whose bytes are only ever read
// after a conversion wrote them.
void SecInitEngine(OutputEngine *e, OutputCursor *stream, const char *format,
                   SecArgList *args) {
  e->stream = stream;
  e->args = args;
  e->format = format;
  e->state = STATE_NORMAL;
  e->lastState = STATE_NORMAL;
  e->charsOut = 0;
  e->floatPending = 0;
  e->spec.digits = g_itoaUpperDigits;
  e->spec.radix = 10;
}

// Literal text from the format up to the next '%' (or the end), read in a
// state where such bytes are plain text: the whole run is written at once,
// through the same room test as any text, and leaves the reader in
// STATE_NORMAL as its last byte would. A run is taken in pieces of at most
// kMaxLiteralRun bytes so that its length always fits the engine's signed
// counts.
void SecWriteLiteralRun(OutputEngine *e) {
  constexpr size_t kMaxLiteralRun = 0x40000000;
  const char *run = e->format;
  const char *end = SecLiteralEnd(run);
  if (static_cast<size_t>(end - run) > kMaxLiteralRun) end = run + kMaxLiteralRun;
  e->lastState = e->state;
  e->state = STATE_NORMAL;
  e->ch = static_cast<unsigned char>(end[-1]);
  e->format = end;
  SecWriteStringChk(e, run, static_cast<int>(end - run));
}

}  // namespace

bool SecDecodeType(OutputEngine *e) {
  switch (e->ch) {
    case 'C':
    case 'c': SecDecodeTypeC(e); return true;
    case 'S':
    case 's': SecDecodeTypeS(e); return true;
    case 'E':
    case 'F':
    case 'G':
    case 'e':
    case 'f':
    case 'g': SecDecodeTypeFloat(e); return true;
    case 'X':
    case 'd':
    case 'i':
    case 'o':
    case 'p':
    case 'u':
    case 'x': SecDecodeTypeInt(e); return true;
    default: return false;
  }
}

// The general format loop. Between conversions the reader is in
// STATE_NORMAL or STATE_TYPE, where every byte but '%' is text. Literal runs
// and plain conversions go through the same steps as in the fast loop; a
// run or field that does not fit, and every other conversion, goes to the
// engine's general paths, which write byte by byte as far as the room
// lasts. The loop's place is handed to the engine before each of these and
// taken back after it, in one place (in_engine).
int SecOutputResume(OutputCursor *stream, const char *f, int charsOut, uint8_t state,
                    va_list argList, const PlainField *pending) {
  SecArgList args;
  va_copy(args.ap, argList);
  OutputEngine e;
  SecInitEngine(&e, stream, f, &args);
  PlainPlace at{stream->cursor, stream->remaining, charsOut, f, state};
  auto in_engine = [&](auto &&general) {
    stream->cursor = at.cursor;
    stream->remaining = at.remaining;
    e.charsOut = at.charsOut;
    e.format = at.f;
    e.state = at.state;
    general();
    at = PlainPlace{stream->cursor, stream->remaining, e.charsOut, e.format, e.state};
  };
  if (pending != nullptr) in_engine([&] { SecWritePlainFieldChecked(&e, *pending); });
  PlainField field;
  bool ok = true;
  while (ok && *at.f != '\0' && at.charsOut >= 0) {
    if (*at.f != '%') {
      if (!SecPutLiteralRun(&at)) in_engine([&] { SecWriteLiteralRun(&e); });
      continue;
    }
    const uint8_t before = at.state;
    const PlainStepResult step = SecPlainStep(&at, &field, args.ap);
    if (step == PLAIN_PENDING) in_engine([&] { SecWritePlainFieldChecked(&e, field); });
    if (step != PLAIN_NONE) continue;
    in_engine([&] {
      e.ch = '%';
      e.format = at.f + 1;
      e.lastState = before;
      e.state = SecDecodeState('%', before);  // STATE_PERCENT
      SecResetSpec(&e);
      ok = SecReadConversion(&e);
    });
  }
  va_end(args.ap);
  in_engine([] {});
  if (!ok) return -1;
  if (at.charsOut >= 0 && at.state != STATE_NORMAL && at.state != STATE_TYPE) return -1;
  return at.charsOut;
}

int SecEndFailedOutput(char *strDest, size_t size, const OutputCursor &stream) {
  if (stream.remaining < 0) {
    strDest[size - 1] = '\0';
    return OUTPUT_TRUNCATED;
  }
  strDest[0] = '\0';
  return -1;
}
