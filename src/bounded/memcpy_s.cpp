// Bounded copy of non-overlapping blocks.
#include "bounded/sec_internal.h"

int memcpy_s(void *dest, size_t destMax, const void *src, size_t count) {
  // One combined test, without a branch per part: a count in 1..destMax
  // (count - 1 wraps to the largest value for 0), destMax within the limit,
  // both blocks present and at least count bytes apart (the distance is 0
  // when they are the same block).
  const uintptr_t d = SecAddr(dest);
  const uintptr_t s = SecAddr(src);
  const uintptr_t distance = d > s ? d - s : s - d;
  if ((count - 1 < destMax) & (destMax <= LENGTH_LIMIT) & (d != 0) & (s != 0) &
      (distance >= count)) {
    memcpy(dest, src, count);
    return RESULT_OK;
  }
  return SecMemcpyError(dest, destMax, src, count);
}
