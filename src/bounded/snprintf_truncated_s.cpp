// Bounded formatted output that keeps as much of a long text as fits:
// gathers the arguments and runs vsnprintf_truncated_s's body.
#include "bounded/sec_output_entry.h"

int snprintf_truncated_s(char *strDest, size_t destMax, const char *format, ...) {
  va_list argList;
  va_start(argList, format);
  const int ret = SecVsnprintfTruncatedBody(strDest, destMax, format, argList);
  va_end(argList);
  return ret;
}
