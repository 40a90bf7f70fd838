// Bounds-checked fill, copy, concatenation and formatted-output routines.
//
// Every routine takes the capacity of its destination (destMax, bytes) right
// after the destination pointer, checks its arguments before writing, and
// never writes outside [dest, dest + destMax).
//
// Copy, fill and concatenation routines return one of the result codes below.
// Formatted-output routines return the number of characters written (without
// the terminator), or -1; the truncating forms return destMax - 1 on a cut.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Largest destMax (and, for counted string routines, count) accepted.
#define LENGTH_LIMIT ((size_t)0x7FFFFFFF)

#define RESULT_OK 0               // success, also "nothing to do"
#define RESULT_INVALID 22         // dest is null; nothing written
#define RESULT_RANGE 34           // destMax is 0 or above LENGTH_LIMIT; nothing written
#define RESULT_INVALID_CLEARED 150 // src null, or unterminated dest on append; dest reset
#define RESULT_RANGE_CLEARED 162  // result does not fit (or count too large); dest reset
#define RESULT_OVERLAP_CLEARED 182 // source and written area overlap; dest reset

extern const unsigned char g_allZero[32];
extern const unsigned char g_allFF[32];

int memset_s(void *dest, size_t destMax, int c, size_t count);
int memcpy_s(void *dest, size_t destMax, const void *src, size_t count);
int memmove_s(void *dest, size_t destMax, const void *src, size_t count);
int memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count);
int memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count);
int memset_sOptAsm(void *dest, size_t destMax, int c, size_t count);
int memset_sOptTc(void *dest, size_t destMax, int c, size_t count);

int strcpy_s(char *strDest, size_t destMax, const char *strSrc);
int strncpy_s(char *strDest, size_t destMax, const char *strSrc, size_t count);
int strcat_s(char *strDest, size_t destMax, const char *strSrc);
int strncat_s(char *strDest, size_t destMax, const char *strSrc, size_t count);

int sprintf_s(char *strDest, size_t destMax, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
int vsprintf_s(char *strDest, size_t destMax, const char *format, va_list argList)
    __attribute__((format(printf, 3, 0)));
int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format,
                va_list argList) __attribute__((format(printf, 4, 0)));
int snprintf_truncated_s(char *strDest, size_t destMax, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
int vsnprintf_truncated_s(char *strDest, size_t destMax, const char *format,
                          va_list argList) __attribute__((format(printf, 3, 0)));

#ifdef __cplusplus
}
#endif
