// Short copies and fills without a call: a block of N to 2N bytes is moved
// with two overlapping moves of N bytes (its first N and its last N), which
// write exactly those bytes. The copy routines and the formatting engine
// both build on these.
#pragma once

#include <stddef.h>
#include <string.h>

// Copies count bytes, N <= count <= 2N. Both halves are read before either is
// written.
template <size_t N>
inline void SecCopyTwoMoves(void *dest, const void *src, size_t count) {
  unsigned char *d = static_cast<unsigned char *>(dest);
  const unsigned char *s = static_cast<const unsigned char *>(src);
  unsigned char head[N];
  unsigned char tail[N];
  memcpy(head, s, N);
  memcpy(tail, s + count - N, N);
  memcpy(d, head, N);
  memcpy(d + count - N, tail, N);
}

// Copies count bytes, 1 <= count <= 2N (N a power of two, 4 or more): two
// moves of the largest power of two not above count; the first, middle and
// last byte for 1 to 3.
template <size_t N>
inline void SecCopyUpTo2N(void *dest, const void *src, size_t count) {
  if constexpr (N > 4) {
    if (count < N) return SecCopyUpTo2N<N / 2>(dest, src, count);
  } else if (count < 4) {
    unsigned char *d = static_cast<unsigned char *>(dest);
    const unsigned char *s = static_cast<const unsigned char *>(src);
    const unsigned char first = s[0];
    const unsigned char middle = s[count / 2];
    const unsigned char last = s[count - 1];
    d[0] = first;
    d[count / 2] = middle;
    d[count - 1] = last;
    return;
  }
  SecCopyTwoMoves<N>(dest, src, count);
}

// Copies count bytes (1..64) of disjoint blocks.
inline void SecCopyUpTo64(void *dest, const void *src, size_t count) {
  SecCopyUpTo2N<32>(dest, src, count);
}

// Copies count bytes (1 or more) of disjoint blocks: up to 64 inline, more
// with the C library's memcpy.
inline void SecCopyBlock(void *dest, const void *src, size_t count) {
  if (count > 64) {
    memcpy(dest, src, count);
  } else {
    SecCopyUpTo64(dest, src, count);
  }
}

// Copies len bytes (0 or more): up to 32 inline, longer texts with the C
// library's memcpy.
inline void SecCopyText(char *dest, const char *text, int len) {
  if (len > 32) {
    memcpy(dest, text, static_cast<size_t>(len));
  } else if (len > 0) {
    SecCopyUpTo2N<16>(dest, text, static_cast<size_t>(len));
  }
}

// Fills len bytes (1..16) with ch, with at most two overlapping stores.
inline void SecFillShort(char *dest, char ch, int len) {
  const unsigned long long pattern = 0x0101010101010101ull * static_cast<unsigned char>(ch);
  if (len >= 8) {
    memcpy(dest, &pattern, 8);
    memcpy(dest + len - 8, &pattern, 8);
  } else if (len >= 4) {
    memcpy(dest, &pattern, 4);
    memcpy(dest + len - 4, &pattern, 4);
  } else {
    dest[0] = ch;
    dest[len / 2] = ch;
    dest[len - 1] = ch;
  }
}

// Fills count bytes (1 or more) with ch.
inline void SecFill(char *dest, char ch, int count) {
  if (count <= 16) {
    SecFillShort(dest, ch, count);
  } else {
    memset(dest, ch, static_cast<size_t>(count));
  }
}

// Fills count bytes (0..32) with c.
inline void SecFillUpTo32(void *dest, int c, size_t count) {
  char *d = static_cast<char *>(dest);
  const char ch = static_cast<char>(c);
  if (count > 16) {
    SecFillShort(d, ch, 16);
    SecFillShort(d + count - 16, ch, 16);
  } else if (count != 0) {
    SecFillShort(d, ch, static_cast<int>(count));
  }
}

// Fills count bytes (0 or more) with c: up to 32 inline, more with the C
// library's memset.
inline void SecFillBlock(void *dest, int c, size_t count) {
  if (count > 32) {
    memset(dest, c, count);
  } else {
    SecFillUpTo32(dest, c, count);
  }
}
