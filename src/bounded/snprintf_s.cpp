// Bounded formatted output of at most count characters.
#include "bounded/bounded.h"

int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...) {
  va_list argList;
  va_start(argList, format);
  int ret = vsnprintf_s(strDest, destMax, count, format, argList);
  va_end(argList);
  return ret;
}
