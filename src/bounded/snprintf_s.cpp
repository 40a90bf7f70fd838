// Bounded formatted output of at most count characters: gathers the
// arguments and runs vsnprintf_s's body.
#include "bounded/sec_output_entry.h"

int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...) {
  va_list argList;
  va_start(argList, format);
  const int ret = SecVsnprintfBody(strDest, destMax, count, format, argList);
  va_end(argList);
  return ret;
}
