// Error classification of the string copy routines. Entered only when the
// fast success test of the caller failed.
#include "bounded/sec_internal.h"

int CheckSrcRange(char *strDest, size_t destMax, const char *strSrc) {
  size_t i = 0;
  while (i < destMax && strSrc[i] != '\0') ++i;
  if (i == destMax) {
    strDest[0] = '\0';
    return RESULT_RANGE_CLEARED;
  }
  // The only string that fits and reaches here is a copy onto itself.
  return RESULT_OK;
}

int strcpy_error(char *strDest, size_t destMax, const char *strSrc) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (strDest == nullptr) return RESULT_INVALID;
  if (strSrc == nullptr) {
    strDest[0] = '\0';
    return RESULT_INVALID_CLEARED;
  }
  return CheckSrcRange(strDest, destMax, strSrc);
}

int strncpy_error(char *strDest, size_t destMax, const char *strSrc, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (strDest == nullptr) return RESULT_INVALID;
  strDest[0] = '\0';
  if (strSrc == nullptr) return RESULT_INVALID_CLEARED;
  if (count > LENGTH_LIMIT) return RESULT_RANGE_CLEARED;
  // count is 0: the empty string is the requested result.
  return RESULT_OK;
}
