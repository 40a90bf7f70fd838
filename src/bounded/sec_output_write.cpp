// The byte-by-byte side of the engine's write path, for texts and fills that
// may not fit (the fits-the-room side is inline in sec_engine.h): every byte
// first takes one from the cursor's remaining room; the first byte that does
// not fit stops the output and turns the character count to -1. Also wide
// text, converted character by character.
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "bounded/sec_engine.h"

void SecWriteMultiCharSlow(OutputEngine *e, char ch, int count) {
  for (int i = 0; i < count && e->charsOut >= 0; ++i) SecOutputOneChar(e, ch);
}

void SecWriteString(OutputEngine *e, const char *text, int len) {
  for (int i = 0; i < len && e->charsOut >= 0; ++i) SecOutputOneChar(e, text[i]);
}

void SecWriteWideText(OutputEngine *e, const wchar_t *text, int len) {
  char mb[MB_LEN_MAX];
  for (int i = 0; i < len && e->charsOut >= 0; ++i) {
    wchar_t wc;
    memcpy(&wc, text + i, sizeof wc);
    int n = wctomb(mb, wc);
    if (n <= 0 || n > MB_LEN_MAX) {
      e->charsOut = -1;  // not representable here: the call fails
      return;
    }
    SecWriteStringChk(e, mb, n);
  }
}
