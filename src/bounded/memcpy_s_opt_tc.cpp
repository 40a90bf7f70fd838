// Bounded copy with inline moves for short counts; the fast test leaves out
// the capacity limit, so a request that is otherwise valid is carried out.
#include "bounded/sec_internal.h"

int memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count) {
  if (count <= destMax && dest != nullptr && src != nullptr && count != 0 &&
      SecBlocksDisjoint(dest, src, count)) {
    SecCopyBlock(dest, src, count);
    return RESULT_OK;
  }
  return SecMemcpyError(dest, destMax, src, count);
}
