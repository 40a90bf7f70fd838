// Bounded formatted output of at most count characters from an argument
// list. With count below destMax a longer text is cut to count characters
// (result -1); otherwise a text that does not fit leaves an empty string.
#include "bounded/sec_output.h"
#include "bounded/sec_output_args.h"

int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format,
                va_list argList) {
  if (format == nullptr || !SecDestUsable(strDest, destMax) || count >= LENGTH_LIMIT) {
    return SecRefuseFormat(strDest, destMax);
  }
  if (count < destMax) {
    int ret = SecVsnprintfImpl(strDest, count + 1, format, argList);
    return ret < 0 ? -1 : ret;  // a cut text stays in place
  }
  int ret = SecVsnprintfImpl(strDest, destMax, format, argList);
  if (ret < 0) {
    strDest[0] = '\0';
    return -1;
  }
  return ret;
}
