// Error classification of the block copy and fill routines. Entered only when
// the fast success test of the caller failed; the order of the tests fixes
// which code a call with several faults gets.
#include "bounded/sec_internal.h"

int SecBlockArgsError(void *dest, size_t destMax, const void *src, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (dest == nullptr) return RESULT_INVALID;
  if (src == nullptr) {
    memset(dest, 0, destMax);
    return RESULT_INVALID_CLEARED;
  }
  if (count > destMax) {
    memset(dest, 0, destMax);
    return RESULT_RANGE_CLEARED;
  }
  return RESULT_OK;
}

int SecMemcpyError(void *dest, size_t destMax, const void *src, size_t count) {
  const int args = SecBlockArgsError(dest, destMax, src, count);
  if (args != RESULT_OK) return args;
  uintptr_t d = SecAddr(dest);
  uintptr_t s = SecAddr(src);
  if ((s < d && SecReaches(s, d, count)) || (d < s && SecReaches(d, s, count))) {
    memset(dest, 0, destMax);
    return RESULT_OVERLAP_CLEARED;
  }
  // count is 0 or dest is src: nothing to copy.
  return RESULT_OK;
}

int SecMemsetError(void *dest, size_t destMax, int c, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (dest == nullptr) return RESULT_INVALID;
  if (count > destMax) {
    memset(dest, c, destMax);
    SecFillBarrier(dest);
    return RESULT_RANGE_CLEARED;
  }
  return RESULT_OK;
}
