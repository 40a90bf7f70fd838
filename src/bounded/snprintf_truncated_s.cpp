// Bounded formatted output that keeps as much of a long text as fits.
#include "bounded/bounded.h"

int snprintf_truncated_s(char *strDest, size_t destMax, const char *format, ...) {
  va_list argList;
  va_start(argList, format);
  int ret = vsnprintf_truncated_s(strDest, destMax, format, argList);
  va_end(argList);
  return ret;
}
