// Bounded fill.
#include "bounded/sec_internal.h"

int memset_s(void *dest, size_t destMax, int c, size_t count) {
  if ((destMax <= LENGTH_LIMIT) & (dest != nullptr) & (count <= destMax)) {
    memset(dest, c, count);
    SecFillBarrier(dest);
    return RESULT_OK;
  }
  return SecMemsetError(dest, destMax, c, count);
}
