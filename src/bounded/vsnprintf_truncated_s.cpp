// Bounded formatted output from an argument list that keeps as much of a
// text that does not fit as the capacity allows.
#include "bounded/sec_output.h"
#include "bounded/sec_output_args.h"

int vsnprintf_truncated_s(char *strDest, size_t destMax, const char *format,
                          va_list argList) {
  if (format == nullptr || !SecDestUsable(strDest, destMax)) {
    return SecRefuseFormat(strDest, destMax);
  }
  int ret = SecVsnprintfImpl(strDest, destMax, format, argList);
  if (ret == OUTPUT_TRUNCATED) return static_cast<int>(destMax - 1);
  if (ret < 0) {
    strDest[0] = '\0';
    return -1;
  }
  return ret;
}
