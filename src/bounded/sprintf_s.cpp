// Bounded formatted output.
#include "bounded/bounded.h"

int sprintf_s(char *strDest, size_t destMax, const char *format, ...) {
  va_list argList;
  va_start(argList, format);
  int ret = vsprintf_s(strDest, destMax, format, argList);
  va_end(argList);
  return ret;
}
