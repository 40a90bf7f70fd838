// Bounded formatted output from an argument list; a text that does not fit
// leaves an empty string.
#include "bounded/sec_output_entry.h"

int vsprintf_s(char *strDest, size_t destMax, const char *format, va_list argList) {
  return SecVsprintfBody(strDest, destMax, format, argList);
}
