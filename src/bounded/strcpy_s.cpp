// Bounded string copy.
#include "bounded/sec_internal.h"

int strcpy_s(char *strDest, size_t destMax, const char *strSrc) {
  if (destMax != 0 && destMax <= LENGTH_LIMIT && strDest != nullptr && strSrc != nullptr &&
      strDest != strSrc) {
    size_t len = strnlen(strSrc, destMax);
    if (len + 1 <= destMax) {
      uintptr_t d = SecAddr(strDest);
      uintptr_t s = SecAddr(strSrc);
      if ((s < d && SecReaches(s, d, len + 1)) || (d < s && SecReaches(d, s, len + 1))) {
        strDest[0] = '\0';
        return RESULT_OVERLAP_CLEARED;
      }
      SecCopyBlock(strDest, strSrc, len + 1);
      return RESULT_OK;
    }
  }
  return strcpy_error(strDest, destMax, strSrc);
}
