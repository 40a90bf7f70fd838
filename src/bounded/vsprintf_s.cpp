// Bounded formatted output from an argument list; a text that does not fit
// leaves an empty string.
#include "bounded/sec_output.h"
#include "bounded/sec_output_args.h"

int vsprintf_s(char *strDest, size_t destMax, const char *format, va_list argList) {
  if (format == nullptr || !SecDestUsable(strDest, destMax)) {
    return SecRefuseFormat(strDest, destMax);
  }
  int ret = SecVsnprintfImpl(strDest, destMax, format, argList);
  if (ret < 0) {
    strDest[0] = '\0';
    return -1;
  }
  return ret;
}
