// Bounded copy that allows the source and destination to overlap.
#include "bounded/sec_internal.h"

int memmove_s(void *dest, size_t destMax, const void *src, size_t count) {
  const int args = SecBlockArgsError(dest, destMax, src, count);
  if (args != RESULT_OK) return args;
  if (dest == src) return RESULT_OK;
  if (count != 0) memmove(dest, src, count);
  return RESULT_OK;
}
