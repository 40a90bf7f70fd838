// Bounded copy of at most count characters, always terminated.
#include "bounded/sec_internal.h"

int strncpy_s(char *strDest, size_t destMax, const char *strSrc, size_t count) {
  if (destMax != 0 && destMax <= LENGTH_LIMIT && count != 0 && count <= LENGTH_LIMIT &&
      strDest != nullptr && strSrc != nullptr) {
    size_t n;
    if (count < destMax) {
      n = strnlen(strSrc, count);  // a longer source is cut to count characters
    } else {
      n = strnlen(strSrc, destMax);
      if (n == destMax) {
        strDest[0] = '\0';
        return RESULT_RANGE_CLEARED;
      }
    }
    uintptr_t d = SecAddr(strDest);
    uintptr_t s = SecAddr(strSrc);
    // Apart when the source's n characters and terminator position end
    // before the other range starts: a distance above n.
    if ((s < d && !SecReaches(s, d, n + 1)) || (d < s && !SecReaches(d, s, n + 1)) || d == s) {
      if (d != s && n != 0) SecCopyBlock(strDest, strSrc, n);
      strDest[n] = '\0';
      return RESULT_OK;
    }
    strDest[0] = '\0';
    return RESULT_OVERLAP_CLEARED;
  }
  return strncpy_error(strDest, destMax, strSrc, count);
}
