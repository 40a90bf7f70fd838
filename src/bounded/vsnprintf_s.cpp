// Bounded formatted output of at most count characters from an argument
// list. With count below destMax a longer text is cut to count characters
// (result -1); otherwise a text that does not fit leaves an empty string.
#include "bounded/sec_output_entry.h"

int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format,
                va_list argList) {
  return SecVsnprintfBody(strDest, destMax, count, format, argList);
}
