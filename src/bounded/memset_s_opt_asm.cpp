// Bounded fill with inline stores for short counts.
#include "bounded/sec_internal.h"

int memset_sOptAsm(void *dest, size_t destMax, int c, size_t count) {
  if (destMax <= LENGTH_LIMIT && dest != nullptr && count <= destMax) {
    SecFillBlock(dest, c, count);
    SecFillBarrier(dest);
    return RESULT_OK;
  }
  return SecMemsetError(dest, destMax, c, count);
}
