// The bodies of the argument-list entry points. Each argument-list form is
// its body, and each variadic form gathers its arguments and runs the same
// body inline, so that one call of sprintf_s is one call, not a chain.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#include "bounded/sec_output_args.h"
#include "bounded/sec_format_loop.h"

// A call that failed (any negative result of SecVsnprintfImpl) leaves an empty
// string and returns -1; a count is passed through.
inline int SecEmptyOnFailure(char *strDest, int ret) {
  if (ret >= 0) return ret;
  strDest[0] = '\0';
  return -1;
}

// vsprintf_s: a text that does not fit leaves an empty string.
__attribute__((always_inline)) inline int SecVsprintfBody(char *strDest, size_t destMax,
                                                          const char *format, va_list argList) {
  if (format == nullptr || !SecDestUsable(strDest, destMax)) {
    return SecRefuseFormat(strDest, destMax);
  }
  return SecEmptyOnFailure(strDest, SecVsnprintfImpl(strDest, destMax, format, argList));
}

// vsnprintf_s: with count below destMax a longer text is cut to count
// characters (result -1); otherwise a text that does not fit leaves an
// empty string.
__attribute__((always_inline)) inline int SecVsnprintfBody(char *strDest, size_t destMax,
                                                           size_t count, const char *format,
                                                           va_list argList) {
  if (format == nullptr || !SecDestUsable(strDest, destMax) || count >= LENGTH_LIMIT) {
    return SecRefuseFormat(strDest, destMax);
  }
  if (count < destMax) {
    const int ret = SecVsnprintfImpl(strDest, count + 1, format, argList);
    return ret < 0 ? -1 : ret;  // a cut text stays in place
  }
  return SecEmptyOnFailure(strDest, SecVsnprintfImpl(strDest, destMax, format, argList));
}

// vsnprintf_truncated_s: keeps as much of a text that does not fit as the
// capacity allows.
__attribute__((always_inline)) inline int SecVsnprintfTruncatedBody(char *strDest, size_t destMax,
                                                                    const char *format,
                                                                    va_list argList) {
  if (format == nullptr || !SecDestUsable(strDest, destMax)) {
    return SecRefuseFormat(strDest, destMax);
  }
  const int ret = SecVsnprintfImpl(strDest, destMax, format, argList);
  if (ret == OUTPUT_TRUNCATED) return static_cast<int>(destMax - 1);
  return SecEmptyOnFailure(strDest, ret);
}
