// The bounded copy, fill and concatenation routines against their C library
// counterparts at 16, 64 and 2048 bytes. Names: copy/<routine>/<size>/<variant>,
// variant "ours", "libc" or "floor" (the least the routine's contract allows). Sizes come from the run, not the compiler, so
// neither side is turned into inline moves of a known length.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bounded/bounded.h"

// The text never reaches the end of the source buffer; GCC cannot see that.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace {

constexpr std::size_t kCapacity = 4096;

struct buffers {
  alignas(64) char dest[kCapacity];
  alignas(64) char src[kCapacity];
  explicit buffers(std::size_t n) {
    std::memset(dest, 0, sizeof dest);
    std::memset(src, 'a', n);
    src[n] = '\0';
  }
};

// The least a bounded routine can do under its contract, built like the
// routines (out of line, a result code): memcpy_s and memset_s call the C
// library's memcpy and memset for every count; a string copy or append
// writes nothing until it has measured the source within the room (a
// failed one leaves dest as it was but for dest[0]), so it measures, then
// copies. Their time over the C library's is the cost of that contract,
// not of the checks.
__attribute__((noinline)) int floor_memcpy(void *dest, std::size_t, const void *src, std::size_t n) {
  std::memcpy(dest, src, n);
  return 0;
}
__attribute__((noinline)) int floor_memset(void *dest, std::size_t, int c, std::size_t n) {
  std::memset(dest, c, n);
  return 0;
}
__attribute__((noinline)) int floor_strcpy(char *dest, std::size_t destMax, const char *src) {
  const std::size_t len = strnlen(src, destMax);
  std::memcpy(dest, src, len + 1);
  return 0;
}
__attribute__((noinline)) int floor_strcat(char *dest, std::size_t destMax, const char *src) {
  const std::size_t used = strnlen(dest, destMax);
  const std::size_t len = strnlen(src, destMax - used);
  std::memcpy(dest + used, src, len + 1);
  return 0;
}
__attribute__((noinline)) int floor_strncpy(char *dest, std::size_t, const char *src, std::size_t n) {
  const std::size_t len = strnlen(src, n);
  std::memcpy(dest, src, len);
  dest[len] = '\0';
  return 0;
}

// For each routine: the bounded call, the C library's and the floor, on n
// bytes of text.
using body = void (*)(buffers &, std::size_t);

struct routine {
  const char *name;
  body ours;
  body libc;
  body floor;
};

const routine kRoutines[] = {
    {"memcpy_s",
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(memcpy_s(b.dest, kCapacity, b.src, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(std::memcpy(b.dest, b.src, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(floor_memcpy(b.dest, kCapacity, b.src, n)); }},
    {"memset_s",
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(memset_s(b.dest, kCapacity, 0, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(std::memset(b.dest, 0, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(floor_memset(b.dest, kCapacity, 0, n)); }},
    {"strcpy_s",
     [](buffers &b, std::size_t) { benchmark::DoNotOptimize(strcpy_s(b.dest, kCapacity, b.src)); },
     [](buffers &b, std::size_t) { benchmark::DoNotOptimize(std::strcpy(b.dest, b.src)); },
     [](buffers &b, std::size_t) { benchmark::DoNotOptimize(floor_strcpy(b.dest, kCapacity, b.src)); }},
    {"strcat_s",
     [](buffers &b, std::size_t) {
       b.dest[0] = '\0';
       benchmark::DoNotOptimize(strcat_s(b.dest, kCapacity, b.src));
     },
     [](buffers &b, std::size_t) {
       b.dest[0] = '\0';
       benchmark::DoNotOptimize(std::strcat(b.dest, b.src));
     },
     [](buffers &b, std::size_t) {
       b.dest[0] = '\0';
       benchmark::DoNotOptimize(floor_strcat(b.dest, kCapacity, b.src));
     }},
    {"strncpy_s",
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(strncpy_s(b.dest, kCapacity, b.src, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(std::strncpy(b.dest, b.src, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(floor_strncpy(b.dest, kCapacity, b.src, n)); }},
};

void run(benchmark::State &state, body fn, std::size_t n) {
  buffers b(n);
  for (auto _ : state) {
    fn(b, n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

int register_copies() {
  for (const routine &r : kRoutines) {
    for (int n : {16, 64, 2048}) {
      const std::string base = std::string("copy/") + r.name + "/" + std::to_string(n) + "/";
      benchmark::RegisterBenchmark((base + "ours").c_str(), run, r.ours, std::size_t(n));
      benchmark::RegisterBenchmark((base + "libc").c_str(), run, r.libc, std::size_t(n));
      benchmark::RegisterBenchmark((base + "floor").c_str(), run, r.floor, std::size_t(n));
    }
  }
  return 0;
}

const int registered = register_copies();

}  // namespace
