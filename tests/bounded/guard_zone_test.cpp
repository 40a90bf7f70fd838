// Every bounded routine, called with random sizes and arguments from a fixed
// seed, writes nothing outside [dest, dest + destMax): the bytes around the
// destination are canaries that must survive each call.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "bounded/bounded.h"

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

constexpr size_t k_guard = 32;
constexpr size_t k_max_dest = 96;
constexpr size_t k_arena = k_guard + k_max_dest + k_guard;
constexpr unsigned char k_canary = 0xA5;
constexpr int k_rounds = 20000;

struct Zone {
  alignas(16) std::array<unsigned char, k_arena> bytes;
  // Source text kept apart from the destination; always terminated at its end.
  alignas(16) std::array<char, 256> source;
};

struct Call {
  int routine;
  size_t destMax;
  size_t count;
  ptrdiff_t srcOff;  // source inside the zone, relative to dest; INT32_MIN: separate
  int fill;
};

constexpr int k_routines = 17;

std::string name_of(int routine) {
  static const char *const names[k_routines] = {
      "memset_s",    "memset_sOptAsm", "memset_sOptTc",  "memcpy_s",     "memcpy_sOptAsm",
      "memcpy_sOptTc", "memmove_s",    "strcpy_s",       "strncpy_s",    "strcat_s",
      "strncat_s",   "sprintf_s",      "snprintf_s",     "snprintf_truncated_s",
      "sprintf_s(number)", "snprintf_s(number)", "snprintf_truncated_s(float)"};
  return names[routine];
}

int invoke(const Call &c, unsigned char *dest, const char *src) {
  char *d = reinterpret_cast<char *>(dest);
  switch (c.routine) {
    case 0: return memset_s(dest, c.destMax, c.fill, c.count);
    case 1: return memset_sOptAsm(dest, c.destMax, c.fill, c.count);
    case 2: return memset_sOptTc(dest, c.destMax, c.fill, c.count);
    case 3: return memcpy_s(dest, c.destMax, src, c.count);
    case 4: return memcpy_sOptAsm(dest, c.destMax, src, c.count);
    case 5: return memcpy_sOptTc(dest, c.destMax, src, c.count);
    case 6: return memmove_s(dest, c.destMax, src, c.count);
    case 7: return strcpy_s(d, c.destMax, src);
    case 8: return strncpy_s(d, c.destMax, src, c.count);
    case 9: return strcat_s(d, c.destMax, src);
    case 10: return strncat_s(d, c.destMax, src, c.count);
    case 11: return sprintf_s(d, c.destMax, "%*s|%s", c.fill % 40, src, src);
    case 12: return snprintf_s(d, c.destMax, c.count, "<%-*.*s>", c.fill % 50, 30, src);
    case 13: return snprintf_truncated_s(d, c.destMax, "%s%c%s", src, 'x', src);
    case 14: return sprintf_s(d, c.destMax, "%0*lld%#x", c.fill % 64, -123456789012LL, c.fill);
    case 15: return snprintf_s(d, c.destMax, c.count, "%-*d|%p", c.fill % 64, c.fill, src);
    default: return snprintf_truncated_s(d, c.destMax, "%*.*e", c.fill % 64, c.fill % 20, 1.5e7);
  }
}

Call random_call(std::mt19937 &rng) {
  auto pick = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
  Call c{};
  c.routine = static_cast<int>(pick(k_routines));
  c.destMax = pick(10) == 0 ? 0 : 1 + pick(k_max_dest);
  size_t around = c.destMax + 8;
  c.count = pick(8) == 0 ? 0 : pick(around + 1);
  c.fill = static_cast<int>(rng() % 1000) - 100;
  // A quarter of the copy, fill and append calls take their source from
  // inside the zone, also overlapping the destination or its guards (the
  // formatted-output routines do not accept arguments inside their
  // destination, as with the C library).
  c.srcOff = pick(4) == 0 && c.routine <= 10 ? static_cast<ptrdiff_t>(pick(k_max_dest + k_guard)) -
                                static_cast<ptrdiff_t>(k_guard)
                          : INT32_MIN;
  return c;
}

void fill_zone(std::mt19937 &rng, Zone &z, const Call &c) {
  z.bytes.fill(k_canary);
  // The destination starts with random text, terminated or not.
  for (size_t i = 0; i < c.destMax; ++i) {
    z.bytes[k_guard + i] = static_cast<unsigned char>('a' + rng() % 26);
  }
  if (c.destMax != 0 && rng() % 3 != 0) z.bytes[k_guard + rng() % c.destMax] = 0;
  for (size_t i = 0; i + 1 < z.source.size(); ++i) {
    z.source[i] = static_cast<char>('A' + rng() % 26);
  }
  z.source[rng() % z.source.size()] = '\0';
  z.source.back() = '\0';
  z.bytes.back() = 0;  // a source inside the zone ends here at the latest
}

TEST(GuardZone, NoRoutineWritesOutsideItsDestination) {
  std::mt19937 rng(20261208u);
  Zone z{};
  for (int round = 0; round < k_rounds; ++round) {
    Call c = random_call(rng);
    fill_zone(rng, z, c);
    unsigned char *dest = z.bytes.data() + k_guard;
    const char *src = c.srcOff == INT32_MIN
                          ? z.source.data()
                          : reinterpret_cast<const char *>(dest + c.srcOff);
    invoke(c, dest, src);
    for (size_t i = 0; i < k_arena - 1; ++i) {
      bool inside = i >= k_guard && i < k_guard + c.destMax;
      if (!inside && z.bytes[i] != k_canary) {
        FAIL() << "round " << round << ": " << name_of(c.routine) << " destMax " << c.destMax
               << " count " << c.count << " srcOff " << c.srcOff << " wrote offset "
               << static_cast<long>(i) - static_cast<long>(k_guard);
      }
    }
  }
}

TEST(GuardZone, FailedStringRoutinesLeaveAnEmptyTerminatedString) {
  // What callers rely on: after any call of a string routine with a usable
  // destination, dest holds a terminator within destMax.
  std::mt19937 rng(7u);
  Zone z{};
  for (int round = 0; round < k_rounds; ++round) {
    Call c = random_call(rng);
    c.routine = 7 + static_cast<int>(rng() % 10);
    if (c.routine > 10) c.srcOff = INT32_MIN;
    if (c.destMax == 0) c.destMax = 1;
    fill_zone(rng, z, c);
    unsigned char *dest = z.bytes.data() + k_guard;
    z.bytes[k_guard + c.destMax - 1] = 'q';  // an unterminated start is possible
    if (rng() % 2 == 0) z.bytes[k_guard + rng() % c.destMax] = 0;
    const char *src = c.srcOff == INT32_MIN
                          ? z.source.data()
                          : reinterpret_cast<const char *>(dest + c.srcOff);
    int rc = invoke(c, dest, src);
    const void *end = std::memchr(dest, 0, c.destMax);
    // Appends to an unterminated destination that succeed are impossible;
    // every other outcome leaves a terminated string.
    ASSERT_NE(end, nullptr) << "round " << round << ": " << name_of(c.routine) << " rc " << rc
                            << " destMax " << c.destMax;
  }
}

}  // namespace
