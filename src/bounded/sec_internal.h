// Internals shared by the bounded copy, fill and concatenation routines: the
// error classifiers entered only when a fast success test fails, the common
// append step and the range tests; the short copies and fills of the fast
// variants are those of sec_short_copy.h.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "bounded/bounded.h"
#include "bounded/sec_short_copy.h"

// The argument tests every block copy makes first, in their order: a bad
// capacity, a null destination, a null source (the destination cleared) or
// a count over the capacity (cleared); RESULT_OK when none applies.
int SecBlockArgsError(void *dest, size_t destMax, const void *src, size_t count);
// Error classification of a refused block copy (memcpy_s and its variants).
int SecMemcpyError(void *dest, size_t destMax, const void *src, size_t count);
// Error classification of a refused fill (memset_s and its variants).
int SecMemsetError(void *dest, size_t destMax, int c, size_t count);
// Error classification of a refused string copy.
int strcpy_error(char *strDest, size_t destMax, const char *strSrc);
// Walks strSrc for at most destMax characters; no terminator within them
// empties strDest and yields RESULT_RANGE_CLEARED.
int CheckSrcRange(char *strDest, size_t destMax, const char *strSrc);
// Error classification of a refused counted string copy.
int strncpy_error(char *strDest, size_t destMax, const char *strSrc, size_t count);
// Appends strSrc, measured against the room left in strDest.
int SecDoCat(char *strDest, size_t destMax, const char *strSrc);
// Appends at most count characters of strSrc.
int SecDoCatLimit(char *strDest, size_t destMax, const char *strSrc, size_t count);

// Keeps the compiler from dropping a fill of a buffer that is dead afterwards.
inline void SecFillBarrier(void *dest) { __asm__ __volatile__("" : : "r"(dest) : "memory"); }

inline uintptr_t SecAddr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// Every range test below compares a length with the distance between two
// addresses, never a sum of an address and a length: the sum wraps around
// for counts near SIZE_MAX (or addresses near the top), the distance cannot.

// True when the range of len bytes that starts at lower reaches the address
// upper (lower <= upper): the distance between them is below len.
inline bool SecReaches(uintptr_t lower, uintptr_t upper, size_t len) {
  return upper - lower < len;
}

// True when [a, a + count) and [b, b + count) are disjoint and a != b; a
// range ending exactly where the other starts is disjoint.
inline bool SecBlocksDisjoint(const void *a, const void *b, size_t count) {
  uintptr_t pa = SecAddr(a);
  uintptr_t pb = SecAddr(b);
  if (pa < pb) return !SecReaches(pa, pb, count);
  if (pb < pa) return !SecReaches(pb, pa, count);
  return false;
}
