// Bounded formatted output: gathers the arguments and runs vsprintf_s's body.
#include "bounded/sec_output_entry.h"

int sprintf_s(char *strDest, size_t destMax, const char *format, ...) {
  va_list argList;
  va_start(argList, format);
  const int ret = SecVsprintfBody(strDest, destMax, format, argList);
  va_end(argList);
  return ret;
}
