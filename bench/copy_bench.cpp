// The bounded copy, fill and concatenation routines against their C library
// counterparts at 16, 64 and 2048 bytes. Names: copy/<routine>/<size>/<variant>,
// variant "ours" or "libc". Sizes come from the run, not the compiler, so
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

// For each routine: the bounded call and the C library's, on n bytes of text.
using body = void (*)(buffers &, std::size_t);

struct routine {
  const char *name;
  body ours;
  body libc;
};

const routine kRoutines[] = {
    {"memcpy_s",
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(memcpy_s(b.dest, kCapacity, b.src, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(std::memcpy(b.dest, b.src, n)); }},
    {"memset_s",
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(memset_s(b.dest, kCapacity, 0, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(std::memset(b.dest, 0, n)); }},
    {"strcpy_s",
     [](buffers &b, std::size_t) { benchmark::DoNotOptimize(strcpy_s(b.dest, kCapacity, b.src)); },
     [](buffers &b, std::size_t) { benchmark::DoNotOptimize(std::strcpy(b.dest, b.src)); }},
    {"strcat_s",
     [](buffers &b, std::size_t) {
       b.dest[0] = '\0';
       benchmark::DoNotOptimize(strcat_s(b.dest, kCapacity, b.src));
     },
     [](buffers &b, std::size_t) {
       b.dest[0] = '\0';
       benchmark::DoNotOptimize(std::strcat(b.dest, b.src));
     }},
    {"strncpy_s",
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(strncpy_s(b.dest, kCapacity, b.src, n)); },
     [](buffers &b, std::size_t n) { benchmark::DoNotOptimize(std::strncpy(b.dest, b.src, n)); }},
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
    }
  }
  return 0;
}

const int registered = register_copies();

}  // namespace
