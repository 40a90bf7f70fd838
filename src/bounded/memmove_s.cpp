// Bounded copy that allows the source and destination to overlap.
#include "bounded/sec_internal.h"

int memmove_s(void *dest, size_t destMax, const void *src, size_t count) {
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
  if (dest == src) return RESULT_OK;
  if (count != 0) memmove(dest, src, count);
  return RESULT_OK;
}
