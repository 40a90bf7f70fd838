// Bounded copy with inline moves for short counts.
#include "bounded/sec_internal.h"

int memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count) {
  if (count <= destMax && dest != nullptr && src != nullptr && destMax <= LENGTH_LIMIT &&
      count != 0 && SecBlocksDisjoint(dest, src, count)) {
    SecCopyBlock(dest, src, count);
    return RESULT_OK;
  }
  return SecMemcpyError(dest, destMax, src, count);
}
