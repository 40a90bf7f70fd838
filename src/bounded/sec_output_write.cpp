// The single write path of the engine: every byte first takes one from the
// cursor's remaining room; the first byte that does not fit stops the output
// and turns the character count to -1.
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "bounded/sec_output.h"

void SecOutputOneChar(OutputEngine *e, char ch) {
  if (e->charsOut < 0) return;
  OutputCursor *out = e->stream;
  if (--out->remaining >= 0) {
    *out->cursor++ = ch;
    ++e->charsOut;
  } else {
    e->charsOut = -1;
  }
}

void SecWriteMultiChar(OutputEngine *e, char ch, int count) {
  for (int i = 0; i < count && e->charsOut >= 0; ++i) SecOutputOneChar(e, ch);
}

namespace {

// The whole text fits: copy it in one block.
void SecWriteStringToStream(OutputEngine *e, const char *text, int len) {
  OutputCursor *out = e->stream;
  if (len <= 11) {
    for (int i = 0; i < len; ++i) out->cursor[i] = text[i];
  } else {
    memcpy(out->cursor, text, static_cast<size_t>(len));
  }
  out->cursor += len;
  out->remaining -= len;
  e->charsOut += len;
}

// The text may not fit: byte by byte as far as the room lasts.
void SecWriteString(OutputEngine *e, const char *text, int len) {
  for (int i = 0; i < len && e->charsOut >= 0; ++i) SecOutputOneChar(e, text[i]);
}

}  // namespace

void SecWriteStringChk(OutputEngine *e, const char *text, int len) {
  if (e->charsOut < 0 || len <= 0) return;
  if (e->stream->remaining >= len) {
    SecWriteStringToStream(e, text, len);
  } else {
    SecWriteString(e, text, len);
  }
}

void SecWriteWideText(OutputEngine *e, const wchar_t *text, int len) {
  char mb[MB_LEN_MAX];
  for (int i = 0; i < len && e->charsOut >= 0; ++i) {
    wchar_t wc;
    memcpy(&wc, text + i, sizeof wc);
    int n = wctomb(mb, wc);
    if (n <= 0) {
      e->charsOut = -1;  // not representable here: the call fails
      return;
    }
    SecWriteStringChk(e, mb, n);
  }
}

void SecWriteField(OutputEngine *e) {
  ConversionSpec &s = e->spec;
  s.padCount = s.fieldWidth - s.textLen - s.prefixLen;
  bool left = (s.flags & FLAG_LEFT) != 0;
  bool zero = (s.flags & FLAG_ZERO) != 0;
  if (!left && !zero) SecWriteMultiChar(e, ' ', s.padCount);
  SecWriteStringChk(e, s.prefix.data(), s.prefixLen);
  if (zero && !left) SecWriteMultiChar(e, '0', s.padCount);
  if (s.textIsWide != 0) {
    SecWriteWideText(e, s.text.wstr, s.textLen);
  } else {
    SecWriteStringChk(e, s.text.str, s.textLen);
  }
  if (left && e->charsOut >= 0) SecWriteMultiChar(e, ' ', s.padCount);
}

bool SecPutZeroChar(OutputCursor *stream) {
  if (--stream->remaining >= 0) {
    *stream->cursor++ = '\0';
    return true;
  }
  return false;
}
