// Internals shared by the bounded copy, fill and concatenation routines: the
// error classifiers entered only when a fast success test fails, the common
// append step, and the small inline copies and fills of the fast variants.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "bounded/bounded.h"

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

inline bool SecBothAligned8(const void *a, const void *b) {
  return ((SecAddr(a) | SecAddr(b)) & 7u) == 0;
}

// Copies a short block inline: 8/4/2/1-byte moves chosen by the count when
// both ends are 8-byte aligned, byte by byte otherwise.
inline void SecCopySmall(void *dest, const void *src, size_t count) {
  unsigned char *d = static_cast<unsigned char *>(dest);
  const unsigned char *s = static_cast<const unsigned char *>(src);
  if (SecBothAligned8(d, s)) {
    for (; count >= 8; count -= 8, d += 8, s += 8) memcpy(d, s, 8);
    if (count >= 4) { memcpy(d, s, 4); d += 4; s += 4; count -= 4; }
    if (count >= 2) { memcpy(d, s, 2); d += 2; s += 2; count -= 2; }
    if (count >= 1) *d = *s;
    return;
  }
  for (size_t i = 0; i < count; ++i) d[i] = s[i];
}

// Copies count bytes (1..64) of disjoint blocks with at most two overlapping
// moves of a fixed size (the first and the last bytes), which write exactly
// those bytes; a short copy costs no call and no size dispatch.
inline void SecCopyUpTo64(void *dest, const void *src, size_t count) {
  unsigned char *d = static_cast<unsigned char *>(dest);
  const unsigned char *s = static_cast<const unsigned char *>(src);
  unsigned char head[32];
  unsigned char tail[32];
  if (count >= 32) {
    memcpy(head, s, 32);
    memcpy(tail, s + count - 32, 32);
    memcpy(d, head, 32);
    memcpy(d + count - 32, tail, 32);
  } else if (count >= 16) {
    memcpy(head, s, 16);
    memcpy(tail, s + count - 16, 16);
    memcpy(d, head, 16);
    memcpy(d + count - 16, tail, 16);
  } else if (count >= 8) {
    memcpy(head, s, 8);
    memcpy(tail, s + count - 8, 8);
    memcpy(d, head, 8);
    memcpy(d + count - 8, tail, 8);
  } else if (count >= 4) {
    memcpy(head, s, 4);
    memcpy(tail, s + count - 4, 4);
    memcpy(d, head, 4);
    memcpy(d + count - 4, tail, 4);
  } else {
    const unsigned char first = s[0];
    const unsigned char middle = s[count / 2];
    const unsigned char last = s[count - 1];
    d[0] = first;
    d[count / 2] = middle;
    d[count - 1] = last;
  }
}

// Fills a short block (32 bytes or fewer) inline: from the constant tables
// for 0 and 255 on an 8-byte aligned destination, byte by byte otherwise.
inline void SecFillSmall(void *dest, int c, size_t count) {
  unsigned char *d = static_cast<unsigned char *>(dest);
  if ((SecAddr(d) & 7u) == 0 && (c == 0 || c == 255)) {
    SecCopySmall(d, c == 0 ? g_allZero : g_allFF, count);
    return;
  }
  for (size_t i = 0; i < count; ++i) d[i] = static_cast<unsigned char>(c);
}
