// Bounded formatted output from an argument list that keeps as much of a
// text that does not fit as the capacity allows.
#include "bounded/sec_output_entry.h"

int vsnprintf_truncated_s(char *strDest, size_t destMax, const char *format,
                          va_list argList) {
  return SecVsnprintfTruncatedBody(strDest, destMax, format, argList);
}
