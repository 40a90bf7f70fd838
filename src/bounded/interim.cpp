// INTERIM: minimal stand-ins for the bounded routines so the rest of the tree
// builds while the real routine set is written. Deleted when it lands.
#include <cstdio>
#include <cstring>

#include "bounded/bounded.h"

extern "C" {

const unsigned char g_allZero[32] = {};
const unsigned char g_allFF[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

int memset_s(void *dest, size_t destMax, int c, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (dest == nullptr) return RESULT_INVALID;
  if (count > destMax) { memset(dest, c, destMax); return RESULT_RANGE_CLEARED; }
  memset(dest, c, count);
  return RESULT_OK;
}
int memcpy_s(void *dest, size_t destMax, const void *src, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (dest == nullptr) return RESULT_INVALID;
  if (src == nullptr) { memset(dest, 0, destMax); return RESULT_INVALID_CLEARED; }
  if (count > destMax) { memset(dest, 0, destMax); return RESULT_RANGE_CLEARED; }
  memmove(dest, src, count);
  return RESULT_OK;
}
int memmove_s(void *dest, size_t destMax, const void *src, size_t count) {
  return memcpy_s(dest, destMax, src, count);
}
int memcpy_sOptAsm(void *d, size_t m, const void *s, size_t n) { return memcpy_s(d, m, s, n); }
int memcpy_sOptTc(void *d, size_t m, const void *s, size_t n) { return memcpy_s(d, m, s, n); }
int memset_sOptAsm(void *d, size_t m, int c, size_t n) { return memset_s(d, m, c, n); }
int memset_sOptTc(void *d, size_t m, int c, size_t n) { return memset_s(d, m, c, n); }

int strncpy_s(char *dest, size_t destMax, const char *src, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (dest == nullptr) return RESULT_INVALID;
  if (src == nullptr) { dest[0] = 0; return RESULT_INVALID_CLEARED; }
  size_t n = strnlen(src, count < destMax ? count : destMax);
  if (n >= destMax) { dest[0] = 0; return RESULT_RANGE_CLEARED; }
  memmove(dest, src, n);
  dest[n] = 0;
  return RESULT_OK;
}
int strcpy_s(char *dest, size_t destMax, const char *src) {
  return strncpy_s(dest, destMax, src, destMax);
}
int strncat_s(char *dest, size_t destMax, const char *src, size_t count) {
  if (destMax == 0 || destMax > LENGTH_LIMIT) return RESULT_RANGE;
  if (dest == nullptr) return RESULT_INVALID;
  if (src == nullptr) { dest[0] = 0; return RESULT_INVALID_CLEARED; }
  size_t dl = strnlen(dest, destMax);
  if (dl == destMax) { dest[0] = 0; return RESULT_INVALID_CLEARED; }
  size_t sl = strnlen(src, count);
  if (dl + sl >= destMax) { dest[0] = 0; return RESULT_RANGE_CLEARED; }
  memmove(dest + dl, src, sl);
  dest[dl + sl] = 0;
  return RESULT_OK;
}
int strcat_s(char *dest, size_t destMax, const char *src) {
  return strncat_s(dest, destMax, src, destMax);
}

int vsnprintf_s(char *dest, size_t destMax, size_t count, const char *format, va_list ap) {
  if (dest == nullptr || format == nullptr || destMax == 0 || destMax > LENGTH_LIMIT) return -1;
  int n = vsnprintf(dest, destMax, format, ap);
  if (n < 0 || static_cast<size_t>(n) >= destMax || static_cast<size_t>(n) > count) {
    dest[0] = 0;
    return -1;
  }
  return n;
}
int vsprintf_s(char *dest, size_t destMax, const char *format, va_list ap) {
  return vsnprintf_s(dest, destMax, LENGTH_LIMIT, format, ap);
}
int vsnprintf_truncated_s(char *dest, size_t destMax, const char *format, va_list ap) {
  if (dest == nullptr || format == nullptr || destMax == 0 || destMax > LENGTH_LIMIT) return -1;
  int n = vsnprintf(dest, destMax, format, ap);
  if (n < 0) { dest[0] = 0; return -1; }
  return static_cast<size_t>(n) >= destMax ? static_cast<int>(destMax - 1) : n;
}
int sprintf_s(char *d, size_t m, const char *f, ...) {
  va_list ap; va_start(ap, f); int r = vsprintf_s(d, m, f, ap); va_end(ap); return r;
}
int snprintf_s(char *d, size_t m, size_t c, const char *f, ...) {
  va_list ap; va_start(ap, f); int r = vsnprintf_s(d, m, c, f, ap); va_end(ap); return r;
}
int snprintf_truncated_s(char *d, size_t m, const char *f, ...) {
  va_list ap; va_start(ap, f); int r = vsnprintf_truncated_s(d, m, f, ap); va_end(ap); return r;
}
}
