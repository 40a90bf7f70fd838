// Common work of the append routines: measure both strings, refuse an
// overlap of the source with the written area, then refuse a result that
// does not fit, then append.
#include "bounded/sec_internal.h"

namespace {

// Bounded source length; the first nine bytes are looked at inline when the
// room allows, the rest through strnlen.
size_t SecCatSrcLen(const char *strSrc, size_t room) {
  if (room <= 8) return strnlen(strSrc, room);
  for (size_t i = 0; i < 9; ++i) {
    if (strSrc[i] == '\0') return i;
  }
  return 9 + strnlen(strSrc + 9, room - 9);
}

// Overlap then fit tests; 0 when the append may go ahead.
int SecCatCheck(char *strDest, size_t destMax, const char *strSrc, size_t destLen,
                size_t srcLen) {
  uintptr_t d = SecAddr(strDest);
  uintptr_t s = SecAddr(strSrc);
  // The written area [d, d + destLen + srcLen] and the source with its
  // terminator position [s, s + srcLen] must not meet; lengths are at most
  // LENGTH_LIMIT each, so their sum does not wrap.
  if ((d < s && SecReaches(d, s, destLen + srcLen + 1)) ||
      (s < d && SecReaches(s, d, srcLen + 1))) {
    strDest[0] = '\0';
    if (d <= s && s - d >= destLen && destLen == destMax) return RESULT_INVALID_CLEARED;
    return RESULT_OVERLAP_CLEARED;
  }
  if (destLen + srcLen >= destMax || d == s) {
    strDest[0] = '\0';
    if (destLen == destMax) return RESULT_INVALID_CLEARED;
    return RESULT_RANGE_CLEARED;
  }
  return RESULT_OK;
}

}  // namespace

int SecDoCat(char *strDest, size_t destMax, const char *strSrc) {
  size_t destLen = strnlen(strDest, destMax);
  size_t srcLen = SecCatSrcLen(strSrc, destMax - destLen);
  int rc = SecCatCheck(strDest, destMax, strSrc, destLen, srcLen);
  if (rc != RESULT_OK) return rc;
  memcpy(strDest + destLen, strSrc, srcLen + 1);  // srcLen < room: the terminator
  return RESULT_OK;
}

int SecDoCatLimit(char *strDest, size_t destMax, const char *strSrc, size_t count) {
  size_t destLen = strnlen(strDest, destMax);
  size_t srcLen = strnlen(strSrc, count);
  int rc = SecCatCheck(strDest, destMax, strSrc, destLen, srcLen);
  if (rc != RESULT_OK) return rc;
  memcpy(strDest + destLen, strSrc, srcLen);
  strDest[destLen + srcLen] = '\0';
  return RESULT_OK;
}
