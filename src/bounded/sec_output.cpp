// The format loop of the engine and the common core of the entry points.
#include <string.h>

#include "bounded/sec_output_core.h"

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
// and plain conversions that fit the room are still written here with the
// cursor, the room, the count and the reader's place held in locals; for
// anything that may not fit, and for every other conversion, the locals are
// handed back to the engine and its general paths take over, byte by byte
// where the room ends.
int SecOutputResume(OutputCursor *stream, const char *f, int charsOut, uint8_t state,
                    va_list argList, const PlainField *pending) {
  SecArgList args;
  va_copy(args.ap, argList);
  OutputEngine e;
  SecInitEngine(&e, stream, f, &args);
  char *cursor = stream->cursor;
  int remaining = stream->remaining;
  auto hand_over = [&] {
    stream->cursor = cursor;
    stream->remaining = remaining;
    e.charsOut = charsOut;
    e.format = f;
    e.state = state;
  };
  auto take_back = [&] {
    cursor = stream->cursor;
    remaining = stream->remaining;
    charsOut = e.charsOut;
    f = e.format;
    state = e.state;
  };
  if (pending != nullptr) {
    hand_over();
    SecWritePlainFieldChecked(&e, *pending);
    take_back();
  }
  bool ok = true;
  while (ok && *f != '\0' && charsOut >= 0) {
    if (*f != '%') {
      if (SecPutLiteralRun(&cursor, &remaining, &charsOut, &f)) {
        state = STATE_NORMAL;
        continue;
      }
      hand_over();
      SecWriteLiteralRun(&e);
      take_back();
      continue;
    }
    const uint8_t before = state;
    state = SecDecodeState('%', before);  // STATE_PERCENT
    PlainField p;
    const char *after = SecReadPlainSpec(f + 1, &p);
    if (after != nullptr) {
      SecConvertPlain(&p, args.ap);
      f = after;
      state = STATE_TYPE;
      const int size = SecPlainFieldSize(p);
      if (size <= remaining) {
        SecPutPlainField(cursor, p);
        cursor += size;
        remaining -= size;
        charsOut += size;
      } else {
        hand_over();
        SecWritePlainFieldChecked(&e, p);
        take_back();
      }
      continue;
    }
    hand_over();
    e.ch = '%';
    e.format = f + 1;
    e.lastState = before;
    SecResetSpec(&e);
    ok = SecReadConversion(&e);
    take_back();
  }
  va_end(args.ap);
  hand_over();
  if (!ok) return -1;
  if (charsOut >= 0 && state != STATE_NORMAL && state != STATE_TYPE) return -1;
  return charsOut;
}

int SecEndFailedOutput(char *strDest, size_t size, const OutputCursor &stream) {
  if (stream.remaining < 0) {
    strDest[size - 1] = '\0';
    return OUTPUT_TRUNCATED;
  }
  strDest[0] = '\0';
  return -1;
}
