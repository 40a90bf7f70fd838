// Result codes and destination bytes of the bounded block copy, move and
// fill routines, checked over a whole arena so that a write outside the
// destination shows as well.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "bounded/bounded.h"

namespace {

constexpr size_t k_arena = 160;
constexpr size_t k_dest_at = 48;
constexpr ptrdiff_t k_separate = 1000;  // source in a buffer of its own
constexpr ptrdiff_t k_null = 1001;      // null source
constexpr size_t k_over_limit = 0x80000000u;

enum class Effect { untouched, zeroed, copied, filled_count, filled_max };

using CopyFn = int (*)(void *, size_t, const void *, size_t);
using FillFn = int (*)(void *, size_t, int, size_t);

struct Arena {
  alignas(16) std::array<unsigned char, k_arena> bytes;
  alignas(16) std::array<unsigned char, k_arena> other;
  Arena() {
    for (size_t i = 0; i < k_arena; ++i) {
      bytes[i] = static_cast<unsigned char>(0x40 + i % 60);
      other[i] = static_cast<unsigned char>(0x80 + i % 100);
    }
  }
};

struct CopyCase {
  const char *name;
  size_t destMax;
  ptrdiff_t srcOff;  // relative to dest, or k_separate / k_null
  size_t count;
  bool destNull;
  int rc;
  Effect effect;
};

// Cases that every block copy agrees on (overlap excluded, see below).
constexpr CopyCase k_copy_cases[] = {
    {"plain copy", 8, k_separate, 8, false, RESULT_OK, Effect::copied},
    {"count below destMax", 8, k_separate, 3, false, RESULT_OK, Effect::copied},
    {"count zero", 8, k_separate, 0, false, RESULT_OK, Effect::untouched},
    {"dest is src", 8, 0, 4, false, RESULT_OK, Effect::untouched},
    {"count above destMax", 8, k_separate, 9, false, RESULT_RANGE_CLEARED, Effect::zeroed},
    {"too long wins over overlap", 8, 2, 9, false, RESULT_RANGE_CLEARED, Effect::zeroed},
    {"touching below", 8, -4, 4, false, RESULT_OK, Effect::copied},
    {"touching above", 8, 4, 4, false, RESULT_OK, Effect::copied},
    {"destMax zero", 0, k_separate, 0, false, RESULT_RANGE, Effect::untouched},
    {"destMax zero count one", 0, k_separate, 1, false, RESULT_RANGE, Effect::untouched},
    {"destMax at the limit", LENGTH_LIMIT, k_separate, 5, false, RESULT_OK, Effect::copied},
    {"null dest", 8, k_separate, 4, true, RESULT_INVALID, Effect::untouched},
    {"null dest destMax zero", 0, k_separate, 4, true, RESULT_RANGE, Effect::untouched},
    {"null src", 8, k_null, 4, false, RESULT_INVALID_CLEARED, Effect::zeroed},
    {"null src beats count", 8, k_null, 20, false, RESULT_INVALID_CLEARED, Effect::zeroed},
    {"large copy", 100, k_separate, 100, false, RESULT_OK, Effect::copied},
    {"source just past the copied bytes", 40, 13, 13, false, RESULT_OK, Effect::copied},
};

// Overlapping ranges: refused by the copies, carried out by the move.
constexpr CopyCase k_overlap_cases[] = {
    {"src above, overlapping", 8, 2, 4, false, RESULT_OVERLAP_CLEARED, Effect::zeroed},
    {"src below, overlapping", 8, -3, 4, false, RESULT_OVERLAP_CLEARED, Effect::zeroed},
    {"src one below", 8, -1, 8, false, RESULT_OVERLAP_CLEARED, Effect::zeroed},
};

void run_copy_case(CopyFn fn, const char *fn_name, const CopyCase &c, int rc, Effect effect) {
  Arena a;
  unsigned char *dest = a.bytes.data() + k_dest_at;
  const unsigned char *src = nullptr;
  if (c.srcOff == k_separate) {
    src = a.other.data() + 7;
  } else if (c.srcOff != k_null) {
    src = dest + c.srcOff;
  }
  Arena before = a;
  size_t src_at = src == nullptr ? 0 : static_cast<size_t>(src - (c.srcOff == k_separate
                                                                       ? a.other.data()
                                                                       : a.bytes.data()));
  int got = fn(c.destNull ? nullptr : dest, c.destMax, src, c.count);
  SCOPED_TRACE(std::string(fn_name) + ": " + c.name);
  EXPECT_EQ(got, rc);
  std::array<unsigned char, k_arena> want = before.bytes;
  const auto &src_bytes = c.srcOff == k_separate ? before.other : before.bytes;
  if (effect == Effect::zeroed) std::memset(want.data() + k_dest_at, 0, c.destMax);
  if (effect == Effect::copied) {
    std::memmove(want.data() + k_dest_at, src_bytes.data() + src_at, c.count);
  }
  EXPECT_EQ(a.bytes, want);
  EXPECT_EQ(a.other, before.other);
}

struct NamedCopy {
  CopyFn fn;
  const char *name;
  bool checksLimit;  // false: destMax above the limit is carried out
};

constexpr NamedCopy k_copies[] = {
    {memcpy_s, "memcpy_s", true},
    {memcpy_sOptAsm, "memcpy_sOptAsm", true},
    {memcpy_sOptTc, "memcpy_sOptTc", false},
};

TEST(BlockCopy, SharedCasesForEveryCopyAndMove) {
  for (const NamedCopy &f : k_copies) {
    for (const CopyCase &c : k_copy_cases) run_copy_case(f.fn, f.name, c, c.rc, c.effect);
  }
  for (const CopyCase &c : k_copy_cases) run_copy_case(memmove_s, "memmove_s", c, c.rc, c.effect);
}

TEST(BlockCopy, OverlapRefusedByCopiesCarriedOutByMove) {
  for (const NamedCopy &f : k_copies) {
    for (const CopyCase &c : k_overlap_cases) run_copy_case(f.fn, f.name, c, c.rc, c.effect);
  }
  for (const CopyCase &c : k_overlap_cases) {
    run_copy_case(memmove_s, "memmove_s", c, RESULT_OK, Effect::copied);
  }
}

TEST(BlockCopy, DestMaxAboveLimit) {
  const CopyCase c{"destMax 0x80000000", k_over_limit, k_separate, 6, false, 0, Effect::untouched};
  for (const NamedCopy &f : k_copies) {
    if (f.checksLimit) {
      run_copy_case(f.fn, f.name, c, RESULT_RANGE, Effect::untouched);
    } else {
      run_copy_case(f.fn, f.name, c, RESULT_OK, Effect::copied);
    }
  }
  run_copy_case(memmove_s, "memmove_s", c, RESULT_RANGE, Effect::untouched);
}

TEST(BlockCopy, InlineCopiesOfEverySmallLengthAndAlignment) {
  // The fast variants copy up to 64 bytes inline; each length and each
  // alignment of either end must give the same bytes as a plain copy.
  for (CopyFn fn : {memcpy_sOptAsm, memcpy_sOptTc}) {
    for (size_t count = 1; count <= 70; ++count) {
      for (size_t dshift : {0, 1, 8}) {
        for (size_t sshift : {0, 3, 8}) {
          Arena a;
          unsigned char *dest = a.bytes.data() + 8 + dshift;
          const unsigned char *src = a.other.data() + 8 + sshift;
          Arena before = a;
          ASSERT_EQ(fn(dest, count, src, count), RESULT_OK);
          std::array<unsigned char, k_arena> want = before.bytes;
          std::memcpy(want.data() + 8 + dshift, src, count);
          ASSERT_EQ(a.bytes, want) << "count " << count << " shifts " << dshift << "/" << sshift;
        }
      }
    }
  }
}

struct FillCase {
  const char *name;
  size_t destOff;  // from the aligned destination position
  size_t destMax;
  int c;
  size_t count;
  bool destNull;
  int rc;
  Effect effect;
  unsigned char stored;
};

constexpr FillCase k_fill_cases[] = {
    {"fill within", 0, 8, 0x5A, 5, false, RESULT_OK, Effect::filled_count, 0x5A},
    {"count equals destMax", 0, 8, 0x11, 8, false, RESULT_OK, Effect::filled_count, 0x11},
    {"count 2048 into 4", 0, 4, 0, 2048, false, RESULT_RANGE_CLEARED, Effect::filled_max, 0},
    {"count one above", 0, 8, 0x33, 9, false, RESULT_RANGE_CLEARED, Effect::filled_max, 0x33},
    {"destMax 0 count 0", 0, 0, 0x33, 0, false, RESULT_OK, Effect::untouched, 0},
    {"destMax 0 count 1", 0, 0, 0x33, 1, false, RESULT_RANGE, Effect::untouched, 0},
    {"null dest destMax 0", 0, 0, 0, 0, true, RESULT_RANGE, Effect::untouched, 0},
    {"null dest", 0, 8, 0, 4, true, RESULT_INVALID, Effect::untouched, 0},
    {"null dest destMax over limit", 0, k_over_limit, 0, 4, true, RESULT_RANGE,
     Effect::untouched, 0},
    {"low byte of c stored", 0, 8, 0x1A5, 6, false, RESULT_OK, Effect::filled_count, 0xA5},
    {"255 aligned short", 0, 32, 255, 32, false, RESULT_OK, Effect::filled_count, 0xFF},
    {"minus one aligned short", 0, 32, -1, 17, false, RESULT_OK, Effect::filled_count, 0xFF},
    {"zero aligned short", 0, 32, 0, 31, false, RESULT_OK, Effect::filled_count, 0},
    {"zero unaligned short", 3, 32, 0, 31, false, RESULT_OK, Effect::filled_count, 0},
    {"255 unaligned short", 1, 32, 255, 9, false, RESULT_OK, Effect::filled_count, 0xFF},
    {"zero above 32", 0, 64, 0, 33, false, RESULT_OK, Effect::filled_count, 0},
    {"other value above 32", 5, 64, 0x77, 64, false, RESULT_OK, Effect::filled_count, 0x77},
};

void run_fill_case(FillFn fn, const char *fn_name, const FillCase &c, int rc, Effect effect) {
  Arena a;
  unsigned char *dest = a.bytes.data() + k_dest_at + c.destOff;
  Arena before = a;
  int got = fn(c.destNull ? nullptr : dest, c.destMax, c.c, c.count);
  SCOPED_TRACE(std::string(fn_name) + ": " + c.name);
  EXPECT_EQ(got, rc);
  std::array<unsigned char, k_arena> want = before.bytes;
  size_t at = k_dest_at + c.destOff;
  if (effect == Effect::filled_count) std::memset(want.data() + at, c.stored, c.count);
  if (effect == Effect::filled_max) std::memset(want.data() + at, c.stored, c.destMax);
  EXPECT_EQ(a.bytes, want);
}

struct NamedFill {
  FillFn fn;
  const char *name;
  bool checksLimit;
};

constexpr NamedFill k_fills[] = {
    {memset_s, "memset_s", true},
    {memset_sOptAsm, "memset_sOptAsm", true},
    {memset_sOptTc, "memset_sOptTc", false},
};

TEST(BlockFill, CasesForEveryFill) {
  for (const NamedFill &f : k_fills) {
    for (const FillCase &c : k_fill_cases) run_fill_case(f.fn, f.name, c, c.rc, c.effect);
  }
}

TEST(BlockFill, DestMaxAboveLimit) {
  const FillCase c{"destMax 0x80000000", 0, k_over_limit, 0x42, 6, false, 0, Effect::untouched,
                   0x42};
  for (const NamedFill &f : k_fills) {
    if (f.checksLimit) {
      run_fill_case(f.fn, f.name, c, RESULT_RANGE, Effect::untouched);
    } else {
      run_fill_case(f.fn, f.name, c, RESULT_OK, Effect::filled_count);
    }
  }
}

TEST(BlockFill, ConstantPatterns) {
  for (unsigned char b : g_allZero) EXPECT_EQ(b, 0x00);
  for (unsigned char b : g_allFF) EXPECT_EQ(b, 0xFF);
}

}  // namespace
