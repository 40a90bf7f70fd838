// Every bounded copy, move, fill and append routine, every variant, with
// capacities and counts at the extremes (0, 1, SIZE_MAX, SIZE_MAX - k,
// 0x7FFFFFFF +- 1, UINT32_MAX) and the source below, above, on or apart from
// the destination. The expected outcome is worked out here with 128-bit
// address sums, which cannot wrap; the routines must agree and must never
// write a byte the outcome does not name. A call whose outcome would clear
// or fill more bytes than the arena has (a capacity that the arena does not
// back) is not made.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bounded/bounded.h"

namespace {

using u128 = unsigned __int128;

constexpr size_t kLimit = LENGTH_LIMIT;
constexpr size_t kExtremes[] = {0,          1,          2,          8,          64,
                                0x7FFFFFFE, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, SIZE_MAX - 64,
                                SIZE_MAX - 1, SIZE_MAX};

constexpr size_t kArena = 512;
constexpr size_t kDestAt = 192;
constexpr ptrdiff_t kApart = 10000;  // source in a buffer of its own
constexpr ptrdiff_t kNull = 10001;   // null source
constexpr ptrdiff_t kSourceOffsets[] = {-64, -8, -1, 0, 1, 8, 64, kApart, kNull};

struct Arena {
  alignas(16) std::array<unsigned char, kArena> bytes;
  alignas(16) std::array<unsigned char, kArena> apart;
  Arena() {
    for (size_t i = 0; i < kArena; ++i) {
      bytes[i] = static_cast<unsigned char>(0x21 + i % 90);
      apart[i] = static_cast<unsigned char>(0x80 + i % 120);
    }
  }
  unsigned char *dest() { return bytes.data() + kDestAt; }
  const unsigned char *src(ptrdiff_t off) {
    if (off == kNull) return nullptr;
    if (off == kApart) return apart.data() + kDestAt;
    return dest() + off;
  }
  // Bytes from p to the end of its buffer.
  size_t room(const unsigned char *p) const {
    const unsigned char *end = p >= apart.data() && p < apart.data() + kArena
                                   ? apart.data() + kArena
                                   : bytes.data() + kArena;
    return static_cast<size_t>(end - p);
  }
};

bool ranges_meet(const void *a, const void *b, size_t n) {
  const u128 pa = reinterpret_cast<uintptr_t>(a);
  const u128 pb = reinterpret_cast<uintptr_t>(b);
  return pa < pb ? pa + n > pb : pb + n > pa;
}

enum class Write { none, copy, zero_max, fill_count, fill_max };

struct Outcome {
  int rc;
  Write write;
};

// The copy routines' rules; tc leaves the capacity limit out of the success
// test.
Outcome expected_copy(size_t destMax, const void *d, const void *s, size_t count, bool tc) {
  if (s != nullptr && count <= destMax && (tc || destMax <= kLimit) && count != 0 && d != s &&
      !ranges_meet(d, s, count)) {
    return {RESULT_OK, Write::copy};
  }
  if (destMax == 0 || destMax > kLimit) return {RESULT_RANGE, Write::none};
  if (s == nullptr) return {RESULT_INVALID_CLEARED, Write::zero_max};
  if (count > destMax) return {RESULT_RANGE_CLEARED, Write::zero_max};
  if (d != s && ranges_meet(d, s, count)) return {RESULT_OVERLAP_CLEARED, Write::zero_max};
  return {RESULT_OK, Write::none};
}

Outcome expected_move(size_t destMax, const void *d, const void *s, size_t count) {
  if (destMax == 0 || destMax > kLimit) return {RESULT_RANGE, Write::none};
  if (s == nullptr) return {RESULT_INVALID_CLEARED, Write::zero_max};
  if (count > destMax) return {RESULT_RANGE_CLEARED, Write::zero_max};
  if (d == s || count == 0) return {RESULT_OK, Write::none};
  return {RESULT_OK, Write::copy};
}

Outcome expected_fill(size_t destMax, size_t count, bool tc) {
  if ((tc || destMax <= kLimit) && count <= destMax) return {RESULT_OK, Write::fill_count};
  if (destMax == 0 || destMax > kLimit) return {RESULT_RANGE, Write::none};
  return {RESULT_RANGE_CLEARED, Write::fill_max};
}

// Bytes the outcome writes from dest, or SIZE_MAX when the arena cannot
// back them.
size_t written(const Outcome &o, size_t destMax, size_t count) {
  switch (o.write) {
    case Write::none: return 0;
    case Write::copy:
    case Write::fill_count: return count;
    case Write::zero_max:
    case Write::fill_max: return destMax;
  }
  return 0;
}

using CopyFn = int (*)(void *, size_t, const void *, size_t);
using FillFn = int (*)(void *, size_t, int, size_t);

struct CopyRoutine {
  CopyFn fn;
  const char *name;
  bool tc;
  bool move;
};

constexpr CopyRoutine kCopies[] = {
    {memcpy_s, "memcpy_s", false, false},
    {memcpy_sOptAsm, "memcpy_sOptAsm", false, false},
    {memcpy_sOptTc, "memcpy_sOptTc", true, false},
    {memmove_s, "memmove_s", false, true},
};

TEST(SizeExtremes, BlockCopiesAndMove) {
  int made = 0;
  for (const CopyRoutine &r : kCopies) {
    for (size_t destMax : kExtremes) {
      for (size_t count : kExtremes) {
        for (ptrdiff_t off : kSourceOffsets) {
          Arena a;
          unsigned char *d = a.dest();
          const unsigned char *s = a.src(off);
          const Outcome o = r.move ? expected_move(destMax, d, s, count)
                                   : expected_copy(destMax, d, s, count, r.tc);
          const size_t n = written(o, destMax, count);
          if (n > a.room(d) || (o.write == Write::copy && n > a.room(s))) continue;
          Arena want;
          if (o.write == Write::copy) {
            std::memmove(want.dest(), want.src(off), n);
          } else if (o.write == Write::zero_max) {
            std::memset(want.dest(), 0, n);
          }
          ++made;
          const int rc = r.fn(d, destMax, s, count);
          ASSERT_EQ(rc, o.rc) << r.name << " destMax " << destMax << " count " << count
                              << " src " << off;
          ASSERT_TRUE(a.bytes == want.bytes && a.apart == want.apart)
              << r.name << " destMax " << destMax << " count " << count << " src " << off;
        }
      }
    }
  }
  EXPECT_GT(made, 1000);
}

struct FillRoutine {
  FillFn fn;
  const char *name;
  bool tc;
};

constexpr FillRoutine kFills[] = {
    {memset_s, "memset_s", false},
    {memset_sOptAsm, "memset_sOptAsm", false},
    {memset_sOptTc, "memset_sOptTc", true},
};

TEST(SizeExtremes, BlockFills) {
  int made = 0;
  for (const FillRoutine &r : kFills) {
    for (size_t destMax : kExtremes) {
      for (size_t count : kExtremes) {
        Arena a;
        const Outcome o = expected_fill(destMax, count, r.tc);
        const size_t n = written(o, destMax, count);
        if (n > a.room(a.dest())) continue;
        Arena want;
        std::memset(want.dest(), 0xA5, n);
        ++made;
        ASSERT_EQ(r.fn(a.dest(), destMax, 0xA5, count), o.rc)
            << r.name << " destMax " << destMax << " count " << count;
        ASSERT_TRUE(a.bytes == want.bytes) << r.name << " destMax " << destMax << " count "
                                           << count;
      }
    }
  }
  EXPECT_GT(made, 50);
}

// The string routines read only up to a terminator, so a large capacity with
// short strings is safe to pass. dest holds "ab"; the source "xyz" lies in a
// buffer of its own, or overlaps the destination below or above it.
struct StringSetup {
  alignas(16) std::array<char, kArena> bytes;
  alignas(16) std::array<char, 16> apart;
  StringSetup() {
    bytes.fill('#');
    apart.fill('#');
    std::memcpy(bytes.data() + kDestAt, "ab", 3);
    std::memcpy(apart.data(), "xyz", 4);
  }
  char *dest() { return bytes.data() + kDestAt; }
};

constexpr ptrdiff_t kStringSources[] = {kApart, -8, -2, 0, 1, 8};

const char *string_source(StringSetup &t, ptrdiff_t off) {
  if (off == kApart) return t.apart.data();
  char *s = t.dest() + off;
  if (off != 0 && off != 1) std::memcpy(s, "xyz", 4);  // 0 and 1 read dest's own text
  return s;
}

// Expected strcpy_s / strncpy_s (count given) outcome: the result code and
// the text dest then holds ("" for an emptied destination); changed false
// when dest is untouched.
struct StringOutcome {
  int rc;
  bool changed;
  std::string text;
};

StringOutcome expected_copy_string(size_t destMax, const char *d, const char *s, size_t count,
                                   bool counted) {
  if (destMax == 0 || destMax > kLimit) return {RESULT_RANGE, false, ""};
  if (counted && count > kLimit) return {RESULT_RANGE_CLEARED, true, ""};
  if (counted && count == 0) return {RESULT_OK, true, ""};
  const size_t len = std::strlen(s);
  size_t n = len;
  if (counted && count < destMax) {
    n = len < count ? len : count;
  } else if (len >= destMax) {
    return {RESULT_RANGE_CLEARED, true, ""};
  }
  if (d == s) return {RESULT_OK, counted, std::string(s, n)};
  if (ranges_meet(d, s, n + 1)) return {RESULT_OVERLAP_CLEARED, true, ""};
  return {RESULT_OK, true, std::string(s, n)};
}

TEST(SizeExtremes, StringCopies) {
  for (bool counted : {false, true}) {
    for (size_t destMax : kExtremes) {
      for (size_t count : counted ? std::vector<size_t>(std::begin(kExtremes), std::end(kExtremes))
                                  : std::vector<size_t>{0}) {
        for (ptrdiff_t off : kStringSources) {
          StringSetup t;
          const char *s = string_source(t, off);
          const std::string before(t.dest());
          const StringOutcome o = expected_copy_string(destMax, t.dest(), s, count, counted);
          const int rc = counted ? strncpy_s(t.dest(), destMax, s, count)
                                 : strcpy_s(t.dest(), destMax, s);
          const char *name = counted ? "strncpy_s" : "strcpy_s";
          ASSERT_EQ(rc, o.rc) << name << " destMax " << destMax << " count " << count
                              << " src " << off;
          ASSERT_EQ(std::string(t.dest()), o.changed ? o.text : before)
              << name << " destMax " << destMax << " count " << count << " src " << off;
          ASSERT_EQ(t.bytes[kArena - 1], '#');
        }
      }
    }
  }
}

TEST(SizeExtremes, StringAppends) {
  for (bool counted : {false, true}) {
    for (size_t destMax : kExtremes) {
      for (size_t count : counted ? std::vector<size_t>(std::begin(kExtremes), std::end(kExtremes))
                                  : std::vector<size_t>{0}) {
        StringSetup t;
        const char *name = counted ? "strncat_s" : "strcat_s";
        const int rc = counted ? strncat_s(t.dest(), destMax, t.apart.data(), count)
                               : strcat_s(t.dest(), destMax, t.apart.data());
        int want_rc = RESULT_OK;
        std::string want = "ab";
        if (destMax == 0 || destMax > kLimit) {
          want_rc = RESULT_RANGE;
        } else if (counted && count > kLimit) {
          want_rc = RESULT_RANGE_CLEARED;
          want = "";
        } else {
          const size_t add = counted && count < 3 ? count : 3;
          if (destMax <= 2) {
            want_rc = RESULT_INVALID_CLEARED;  // "ab" has no terminator within destMax
            want = "";
          } else if (2 + add >= destMax) {
            want_rc = RESULT_RANGE_CLEARED;
            want = "";
          } else {
            want += std::string("xyz", add);
          }
        }
        ASSERT_EQ(rc, want_rc) << name << " destMax " << destMax << " count " << count;
        if (destMax > 2 || want_rc != RESULT_RANGE) {
          ASSERT_EQ(std::string(t.dest(), strnlen(t.dest(), 8)), want)
              << name << " destMax " << destMax << " count " << count;
        }
        ASSERT_EQ(std::string(t.apart.data()), "xyz");
      }
    }
  }
}

}  // namespace
