// Tiny guards that release a descriptor, a stdio stream or a malloc block on
// every path out of a scope. No exceptions are involved.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace guard {

// Closes a descriptor on scope exit. A value below 0 holds nothing.
struct fd {
  int value = -1;
  explicit fd(int v) : value(v) {}
  fd(const fd &) = delete;
  fd &operator=(const fd &) = delete;
  ~fd() {
    if (value >= 0) ::close(value);
  }
};

// Closes a stdio stream on scope exit.
struct file {
  std::FILE *value = nullptr;
  explicit file(std::FILE *v) : value(v) {}
  file(const file &) = delete;
  file &operator=(const file &) = delete;
  ~file() {
    if (value != nullptr) std::fclose(value);
  }
};

// Frees a malloc block on scope exit unless released.
template <typename T>
struct heap {
  T *value = nullptr;
  explicit heap(T *v) : value(v) {}
  heap(const heap &) = delete;
  heap &operator=(const heap &) = delete;
  ~heap() { std::free(value); }
  // Hands the block to the caller; the guard no longer frees it.
  T *release() {
    T *v = value;
    value = nullptr;
    return v;
  }
};

}  // namespace guard
