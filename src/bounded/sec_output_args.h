// Argument tests shared by the formatted-output entry points.
#pragma once

#include <stddef.h>

#include "bounded/bounded.h"

// True when dest can take at least the terminator.
inline bool SecDestUsable(const char *strDest, size_t destMax) {
  return strDest != nullptr && destMax != 0 && destMax <= LENGTH_LIMIT;
}

// A failed argument test: empties dest when it is usable; always -1.
inline int SecRefuseFormat(char *strDest, size_t destMax) {
  if (SecDestUsable(strDest, destMax)) strDest[0] = '\0';
  return -1;
}
