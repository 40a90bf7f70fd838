// Bounded string append.
#include "bounded/sec_internal.h"

int strcat_s(char *strDest, size_t destMax, const char *strSrc) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (strDest == nullptr) return RESULT_INVALID;
  if (strSrc == nullptr) {
    strDest[0] = '\0';
    return RESULT_INVALID_CLEARED;
  }
  return SecDoCat(strDest, destMax, strSrc);
}
