// The C library's own functions behind the ones this library interposes.
#pragma once

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace simpre {

template <typename F>
F next_symbol(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using open_t = int (*)(const char *, int, ...);
using ioctl_t = int (*)(int, unsigned long, ...);
using close_t = int (*)(int);
using fopen_t = std::FILE *(*)(const char *, const char *);
using vsyslog_t = void (*)(int, const char *, va_list);
using openlog_t = void (*)(const char *, int, int);
using closelog_t = void (*)();

// Opens with the C library, bypassing the interposed open.
int real_open(const char *path, int flags, unsigned mode = 0);
int real_close(int fd);

// Writes text and a line end to fd.
void write_line(int fd, const std::string &text);

// Appends text and a line end to path, creating it when missing.
void append_line(const char *path, const std::string &text);

}  // namespace simpre
