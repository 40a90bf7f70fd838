// Bounded fill with inline stores for short counts; the fast test leaves out
// the capacity limit, so a request that is otherwise valid is carried out.
#include "bounded/sec_internal.h"

int memset_sOptTc(void *dest, size_t destMax, int c, size_t count) {
  if (dest != nullptr && count <= destMax) {
    SecFillBlock(dest, c, count);
    SecFillBarrier(dest);
    return RESULT_OK;
  }
  return SecMemsetError(dest, destMax, c, count);
}
