// Bounded append of at most count characters, always terminated.
#include "bounded/sec_internal.h"

int strncat_s(char *strDest, size_t destMax, const char *strSrc, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (strDest == nullptr) return RESULT_INVALID;
  if (strSrc == nullptr) {
    strDest[0] = '\0';
    return RESULT_INVALID_CLEARED;
  }
  if (count > LENGTH_LIMIT) {
    strDest[0] = '\0';
    return RESULT_RANGE_CLEARED;
  }
  return SecDoCatLimit(strDest, destMax, strSrc, count);
}
