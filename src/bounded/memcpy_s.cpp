// Bounded copy of non-overlapping blocks.
#include "bounded/sec_internal.h"

int memcpy_s(void *dest, size_t destMax, const void *src, size_t count) {
  if (count <= destMax && dest != nullptr && src != nullptr && destMax <= LENGTH_LIMIT &&
      count != 0 && SecBlocksDisjoint(dest, src, count)) {
    if (count <= 64) {
      SecCopyUpTo64(dest, src, count);  // no call for a short block
    } else {
      memcpy(dest, src, count);
    }
    return RESULT_OK;
  }
  return SecMemcpyError(dest, destMax, src, count);
}
