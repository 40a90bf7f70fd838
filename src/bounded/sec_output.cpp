// The format loop of the engine and the common core of the entry points.
#include "bounded/sec_output.h"

namespace {

void SecInitEngine(OutputEngine *e, OutputCursor *stream, const char *format,
                   SecArgList *args) {
  *e = OutputEngine{};
  e->stream = stream;
  e->args = args;
  e->format = format;
  e->spec.digits = g_itoaUpperDigits;
  e->spec.radix = 10;
  e->state = STATE_NORMAL;
  e->lastState = STATE_NORMAL;
}

// Action on entering the new state; false fails the call.
bool SecApplyState(OutputEngine *e) {
  switch (e->state) {
    case STATE_NORMAL: SecOutputOneChar(e, static_cast<char>(e->ch)); return true;
    case STATE_PERCENT: SecResetSpec(e); return true;
    case STATE_FLAG: SecDecodeFlags(e); return true;
    case STATE_WIDTH: return SecDecodeWidth(e);
    case STATE_DOT: e->spec.precision = 0; return true;
    case STATE_PRECISION: return SecDecodePrecision(e);
    case STATE_SIZE: SecDecodeSize(e); return true;
    case STATE_TYPE: return SecDecodeType(e);
    default: return false;
  }
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

int SecOutputS(OutputCursor *stream, const char *format, va_list argList) {
  SecArgList args;
  va_copy(args.ap, argList);
  OutputEngine e;
  SecInitEngine(&e, stream, format, &args);
  bool ok = true;
  while (ok && *e.format != '\0' && e.charsOut >= 0) {
    e.ch = static_cast<unsigned char>(*e.format++);
    e.lastState = e.state;
    e.state = SecDecodeState(e.ch, e.lastState);
    ok = SecApplyState(&e);
  }
  va_end(args.ap);
  if (!ok) return -1;
  if (e.charsOut >= 0 && e.state != STATE_NORMAL && e.state != STATE_TYPE) return -1;
  return e.charsOut;
}

int SecVsnprintfImpl(char *strDest, size_t size, const char *format, va_list argList) {
  OutputCursor stream{static_cast<int>(size), strDest};
  int ret = SecOutputS(&stream, format, argList);
  if (ret >= 0 && SecPutZeroChar(&stream)) return ret;
  if (stream.remaining < 0) {
    strDest[size - 1] = '\0';
    return OUTPUT_TRUNCATED;
  }
  strDest[0] = '\0';
  return -1;
}
