// corvane-pages is built without exceptions and carries the C++ runtime
// inside. Its standard containers still name the runtime's throwing
// allocation and error paths, which would bring the whole exception
// machinery (and with it the dynamic loader's thread-local storage entry)
// into the program. These definitions take their place: running out of
// memory or a container used past its limits ends the program with a message,
// as an exception nobody catches would.
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void stop(const char *what) {
  std::fprintf(stderr, "corvane-pages: %s\n", what);
  std::abort();
}

void *allocate(std::size_t n) {
  void *p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) stop("out of memory");
  return p;
}

}  // namespace

void *operator new(std::size_t n) { return allocate(n); }
void *operator new[](std::size_t n) { return allocate(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return std::malloc(n == 0 ? 1 : n); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return std::malloc(n == 0 ? 1 : n); }

namespace std {
void __throw_bad_alloc() { stop("out of memory"); }
void __throw_bad_array_new_length() { stop("out of memory: array too long"); }
void __throw_length_error(const char *what) { stop(what); }
void __throw_logic_error(const char *what) { stop(what); }
void __throw_out_of_range(const char *what) { stop(what); }
void __throw_out_of_range_fmt(const char *what, ...) { stop(what); }
void __throw_invalid_argument(const char *what) { stop(what); }
void __throw_bad_function_call() { stop("bad function call"); }
}  // namespace std

// Whatever the allocations above take from malloc goes back to free, so that
// every release pairs with its allocation (a sanitizer's own operator delete
// would otherwise see memory it did not hand out).
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
