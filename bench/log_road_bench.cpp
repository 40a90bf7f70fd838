// The log road in-process: the largest page set checked and decoded into a
// scratch operation log, against a floor that appends the same number of
// entries of the same total size with fopen("a") / fprintf / fclose. The
// entries are counted by wrapping the program's fopen (-Wl,--wrap=fopen).
// Also the RAM log page alone, with present-day and with far-future stamps.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/page_codes.h"
#include "common/sizes.h"
#include "decode/decode.h"
#include "logs/logs.h"
#include "max_pages.h"
#include "oplog/oplog.h"

extern "C" std::FILE *__real_fopen(const char *path, const char *mode);
static long g_fopen_calls = 0;
extern "C" std::FILE *__wrap_fopen(const char *path, const char *mode) {
  ++g_fopen_calls;
  return __real_fopen(path, mode);
}

// Allocations made by the program's code (the C library's own, such as
// fopen's, are not seen: only calls from the program's objects are wrapped).
extern "C" void *__real_malloc(std::size_t size);
static long g_malloc_calls = 0;
extern "C" void *__wrap_malloc(std::size_t size) {
  ++g_malloc_calls;
  return __real_malloc(size);
}

namespace {

struct scratch {
  std::string road;
  std::string floor;
  scratch() {
    char road_name[] = "/tmp/cvr.XXXXXX";
    char floor_name[] = "/tmp/cvf.XXXXXX";
    close(mkstemp(road_name));
    close(mkstemp(floor_name));
    road = road_name;
    floor = floor_name;
    if (!set_log_file_path(road.c_str())) std::abort();
  }
  ~scratch() {
    unlink(road.c_str());
    unlink(floor.c_str());
  }
};
scratch &files() {
  static scratch s;
  return s;
}

void empty_file(const std::string &path) { (void)truncate(path.c_str(), 0); }

// Checks and decodes each page as the log command does after its request.
void decode_pages(const std::map<int, benchpages::bytevec> &pages) {
  static std::uint8_t page_buffer[kPageBufferSize];
  static std::uint8_t work[kWorkBufferSize];
  for (const auto &[code, bytes] : pages) {
    std::memset(page_buffer, 0, sizeof page_buffer);
    std::memcpy(page_buffer, bytes.data(), bytes.size());
    const const_page_span page(page_buffer, kPageBufferSize);
    if (log_check(page, work_span(work, kWorkBufferSize), code) != 0) std::abort();
    analysis_log(const_work_span(work, kWorkBufferSize), log_entry_count(page, code), code);
  }
}

struct entry_shape {
  long entries;
  long bytes;
  long allocations;
};

entry_shape measure(const std::map<int, benchpages::bytevec> &pages) {
  empty_file(files().road);
  const long before = g_fopen_calls;
  const long allocations_before = g_malloc_calls;
  decode_pages(pages);
  struct stat st{};
  stat(files().road.c_str(), &st);
  return {g_fopen_calls - before, static_cast<long>(st.st_size), g_malloc_calls - allocations_before};
}

void road(benchmark::State &state, const std::map<int, benchpages::bytevec> &pages) {
  const entry_shape shape = measure(pages);
  for (auto _ : state) {
    state.PauseTiming();
    empty_file(files().road);
    state.ResumeTiming();
    decode_pages(pages);
  }
  state.counters["entries"] = static_cast<double>(shape.entries);
  state.counters["allocations"] = static_cast<double>(shape.allocations);
}

void floor(benchmark::State &state, const std::map<int, benchpages::bytevec> &pages) {
  const entry_shape shape = measure(pages);
  const std::string entry(static_cast<std::size_t>(shape.bytes / shape.entries), 'x');
  for (auto _ : state) {
    state.PauseTiming();
    empty_file(files().floor);
    state.ResumeTiming();
    for (long i = 0; i < shape.entries; ++i) {
      std::FILE *f = __real_fopen(files().floor.c_str(), "a");
      std::fprintf(f, "%s", entry.c_str());
      std::fclose(f);
    }
  }
  state.counters["entries"] = static_cast<double>(shape.entries);
}

const auto kPresent = benchpages::max_page_set(benchpages::stamps::present_day);
const std::map<int, benchpages::bytevec> kRamPresent = {
    {kPageRamLog, benchpages::max_ram_log_page(benchpages::stamps::present_day)}};
const std::map<int, benchpages::bytevec> kRamFar = {
    {kPageRamLog, benchpages::max_ram_log_page(benchpages::stamps::far_future)}};

void BM_road(benchmark::State &s) { road(s, kPresent); }
void BM_floor(benchmark::State &s) { floor(s, kPresent); }
void BM_ram_present(benchmark::State &s) { road(s, kRamPresent); }
void BM_ram_far(benchmark::State &s) { road(s, kRamFar); }

BENCHMARK(BM_road)->Name("log_road/max_page_set/corvane")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_floor)->Name("log_road/max_page_set/floor")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ram_present)->Name("log_road/ram_page/present_day")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ram_far)->Name("log_road/ram_page/far_future")->Unit(benchmark::kMicrosecond);

}  // namespace
