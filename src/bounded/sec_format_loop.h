// The engine's format loops. The fast loop, SecOutputS, is inline so that
// every entry point runs it without a call: it writes literal runs and plain
// conversions (sec_plain_field.h) while they fit the room. At the first byte
// of the format that needs more (any other conversion, or a text or field
// that does not fit) it hands the call, where it stands, to the general
// loop, SecOutputResume (sec_format_loop.cpp), which goes on with the same
// plain step and the engine's general paths for everything else.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <string.h>

#include "bounded/sec_engine.h"
#include "bounded/sec_plain_field.h"

// The general format loop, from format byte f on: charsOut characters are
// written so far (stream holds the cursor and the room) and the reader is in
// state (STATE_NORMAL or STATE_TYPE). argList stands at the next argument.
// pending, when not null, is a plain conversion already read and converted
// that did not fit the room; it is written first, as far as the room lasts.
// The place goes over field by field, never as a whole, so that the fast
// loop's place stays in registers.
// The character count, or -1.
int SecOutputResume(OutputCursor *stream, const char *f, int charsOut, uint8_t state,
                    va_list argList, const PlainField *pending);

// Formats into stream; the character count, or -1. The arguments are taken
// from argList itself, which the caller no longer reads.
__attribute__((always_inline)) inline int SecOutputS(OutputCursor *stream, const char *format,
                                                     va_list argList) {
  PlainPlace at{stream->cursor, stream->remaining, 0, format, STATE_NORMAL};
  PlainField field;
  const PlainField *pending = nullptr;
  for (;;) {
    if (*at.f == '\0') {
      stream->cursor = at.cursor;
      stream->remaining = at.remaining;
      return at.charsOut;
    }
    if (*at.f != '%') {
      if (SecPutLiteralRun(&at)) continue;
      break;
    }
    const PlainStepResult step = SecPlainStep(&at, &field, argList);
    if (step == PLAIN_WRITTEN) continue;
    if (step == PLAIN_PENDING) pending = &field;
    break;
  }
  stream->cursor = at.cursor;
  stream->remaining = at.remaining;
  return SecOutputResume(stream, at.f, at.charsOut, at.state, argList, pending);
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
