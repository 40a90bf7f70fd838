// Result codes and destination bytes of the bounded string copy and append
// routines, checked over a whole arena so that a write outside the
// destination shows as well.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "bounded/bounded.h"

namespace {

constexpr size_t k_arena = 160;
constexpr size_t k_dest_at = 48;
constexpr ptrdiff_t k_separate = 1000;
constexpr ptrdiff_t k_null = 1001;
constexpr size_t k_over_limit = 0x80000000u;
constexpr size_t k_huge_count = 0x80000000u;

enum class After { untouched, empty, text };

struct StrCase {
  const char *name;
  size_t destMax;
  const char *destInit;  // string put at dest first; nullptr: 8 bytes 'Q', no terminator
  ptrdiff_t srcOff;      // source position relative to dest, or k_separate / k_null
  const char *src;       // source text written there (after destInit)
  size_t count;          // for the counted routines
  bool destNull;
  int rc;
  After after;
  const char *text;      // dest string afterwards for After::text
};

using CopyFn = int (*)(char *, size_t, const char *);
using CountedFn = int (*)(char *, size_t, const char *, size_t);

struct Setup {
  std::array<char, k_arena> bytes;
  std::array<char, k_arena> other;
  char *dest;
  const char *src;
};

Setup prepare(const StrCase &c) {
  Setup s{};
  s.bytes.fill('#');
  s.other.fill('%');
  s.dest = s.bytes.data() + k_dest_at;
  if (c.destInit == nullptr) {
    std::memset(s.dest, 'Q', 8);
  } else {
    std::memcpy(s.dest, c.destInit, std::strlen(c.destInit) + 1);
  }
  s.src = nullptr;
  if (c.srcOff == k_separate) {
    std::memcpy(s.other.data() + 5, c.src, std::strlen(c.src) + 1);
    s.src = s.other.data() + 5;
  } else if (c.srcOff != k_null) {
    std::memcpy(s.dest + c.srcOff, c.src, std::strlen(c.src) + 1);
    s.src = s.dest + c.srcOff;
  }
  return s;
}

void check_after(const StrCase &c, const Setup &before, const Setup &now, int got) {
  EXPECT_EQ(got, c.rc);
  std::array<char, k_arena> want = before.bytes;
  if (c.after == After::empty) want[k_dest_at] = '\0';
  if (c.after == After::text) {
    std::memcpy(want.data() + k_dest_at, c.text, std::strlen(c.text) + 1);
  }
  EXPECT_EQ(std::string(now.bytes.data(), k_arena), std::string(want.data(), k_arena));
  EXPECT_EQ(now.other, before.other);
}

void run_copy(CopyFn fn, const char *fn_name, const StrCase &c) {
  SCOPED_TRACE(std::string(fn_name) + ": " + c.name);
  Setup s = prepare(c);
  Setup before = s;
  int got = fn(c.destNull ? nullptr : s.dest, c.destMax, s.src);
  check_after(c, before, s, got);
}

void run_counted(CountedFn fn, const char *fn_name, const StrCase &c) {
  SCOPED_TRACE(std::string(fn_name) + ": " + c.name);
  Setup s = prepare(c);
  Setup before = s;
  int got = fn(c.destNull ? nullptr : s.dest, c.destMax, s.src, c.count);
  check_after(c, before, s, got);
}

const std::string k_forty(40, 'w');

const StrCase k_strcpy_cases[] = {
    {"destMax - 1 characters", 8, "", k_separate, "abcdefg", 0, false, RESULT_OK, After::text,
     "abcdefg"},
    {"destMax characters", 8, "zz", k_separate, "abcdefgh", 0, false, RESULT_RANGE_CLEARED,
     After::empty, nullptr},
    {"empty source", 8, "zz", k_separate, "", 0, false, RESULT_OK, After::text, ""},
    {"destMax 1 empty source", 1, "zz", k_separate, "", 0, false, RESULT_OK, After::text, ""},
    {"destMax 1 one character", 1, "zz", k_separate, "a", 0, false, RESULT_RANGE_CLEARED,
     After::empty, nullptr},
    {"long copy", 60, "", k_separate, k_forty.c_str(), 0, false, RESULT_OK, After::text,
     k_forty.c_str()},
    {"dest is src, fits", 8, "", 0, "abc", 0, false, RESULT_OK, After::untouched, nullptr},
    {"dest is src, too long", 8, "", 0, "abcdefghij", 0, false, RESULT_RANGE_CLEARED,
     After::empty, nullptr},
    {"src above overlapping", 8, "", 2, "abc", 0, false, RESULT_OVERLAP_CLEARED, After::empty,
     nullptr},
    {"src above just clear", 8, "", 4, "abc", 0, false, RESULT_OK, After::text, "abc"},
    {"src below overlapping", 8, "", -3, "abc", 0, false, RESULT_OVERLAP_CLEARED, After::empty,
     nullptr},
    {"src below just clear", 8, "", -4, "abc", 0, false, RESULT_OK, After::text, "abc"},
    {"too long and overlapping", 8, "", 2, "abcdefghijk", 0, false, RESULT_RANGE_CLEARED,
     After::empty, nullptr},
    {"null src", 8, "zz", k_null, "", 0, false, RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"null dest", 8, "zz", k_separate, "a", 0, true, RESULT_INVALID, After::untouched, nullptr},
    {"destMax 0", 0, "zz", k_separate, "a", 0, false, RESULT_RANGE, After::untouched, nullptr},
    {"destMax above limit", k_over_limit, "zz", k_separate, "a", 0, false, RESULT_RANGE,
     After::untouched, nullptr},
    {"null dest destMax 0", 0, "zz", k_separate, "a", 0, true, RESULT_RANGE, After::untouched,
     nullptr},
};

TEST(StringCopy, StrcpyCases) {
  for (const StrCase &c : k_strcpy_cases) run_copy(strcpy_s, "strcpy_s", c);
}

TEST(StringCopy, StrcpyInlineCopiesOfEveryShortLength) {
  // Up to 32 bytes are copied inline, by wide moves when both ends are
  // aligned; every length and alignment must give the plain result.
  for (size_t len = 0; len <= 40; ++len) {
    for (size_t shift : {0, 1, 8}) {
      alignas(16) std::array<char, 128> dest{};
      alignas(16) std::array<char, 128> src{};
      dest.fill('#');
      std::string text(len, 'k');
      for (size_t i = 0; i < len; ++i) text[i] = static_cast<char>('a' + i % 26);
      std::memcpy(src.data() + shift, text.c_str(), len + 1);
      ASSERT_EQ(strcpy_s(dest.data() + 8, 64, src.data() + shift), RESULT_OK);
      EXPECT_EQ(std::string(dest.data() + 8), text);
      EXPECT_EQ(dest[7], '#');
      EXPECT_EQ(dest[8 + len + 1], '#') << len;
    }
  }
}

const StrCase k_strncpy_cases[] = {
    {"count 0", 8, "zz", k_separate, "abc", 0, false, RESULT_OK, After::empty, nullptr},
    {"count cuts a longer source", 8, "", k_separate, "abcdefgh", 3, false, RESULT_OK,
     After::text, "abc"},
    {"count 1 cuts", 8, "zz", k_separate, "abcdefgh", 1, false, RESULT_OK, After::text, "a"},
    {"count equals destMax, fits", 8, "", k_separate, "abcdefg", 8, false, RESULT_OK,
     After::text, "abcdefg"},
    {"count equals destMax, too long", 8, "zz", k_separate, "abcdefgh", 8, false,
     RESULT_RANGE_CLEARED, After::empty, nullptr},
    {"count above destMax, too long", 8, "zz", k_separate, "abcdefgh", 50, false,
     RESULT_RANGE_CLEARED, After::empty, nullptr},
    {"count destMax - 1, long source cut", 8, "", k_separate, "abcdefghij", 7, false, RESULT_OK,
     After::text, "abcdefg"},
    {"source shorter than count", 8, "", k_separate, "ab", 5, false, RESULT_OK, After::text,
     "ab"},
    {"count at the limit", 8, "", k_separate, "ab", LENGTH_LIMIT, false, RESULT_OK, After::text,
     "ab"},
    {"count above the limit", 8, "zz", k_separate, "ab", k_huge_count, false,
     RESULT_RANGE_CLEARED, After::empty, nullptr},
    {"dest is src cut in place", 8, "", 0, "abcd", 2, false, RESULT_OK, After::text, "ab"},
    {"src above overlapping", 8, "", 3, "abc", 8, false, RESULT_OVERLAP_CLEARED, After::empty,
     nullptr},
    {"src above just clear", 8, "", 4, "abc", 8, false, RESULT_OK, After::text, "abc"},
    {"src below overlapping", 8, "", -3, "abc", 8, false, RESULT_OVERLAP_CLEARED, After::empty,
     nullptr},
    {"src below just clear", 8, "", -4, "abc", 8, false, RESULT_OK, After::text, "abc"},
    {"null src", 8, "zz", k_null, "", 3, false, RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"null src beats count 0", 8, "zz", k_null, "", 0, false, RESULT_INVALID_CLEARED,
     After::empty, nullptr},
    {"null src beats huge count", 8, "zz", k_null, "", k_huge_count, false,
     RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"null dest", 8, "zz", k_separate, "a", 3, true, RESULT_INVALID, After::untouched, nullptr},
    {"destMax 0", 0, "zz", k_separate, "a", 3, false, RESULT_RANGE, After::untouched, nullptr},
    {"destMax above limit", k_over_limit, "zz", k_separate, "a", 3, false, RESULT_RANGE,
     After::untouched, nullptr},
};

TEST(StringCopy, StrncpyCases) {
  for (const StrCase &c : k_strncpy_cases) run_counted(strncpy_s, "strncpy_s", c);
}

const std::string k_twenty(20, 't');

const StrCase k_strcat_cases[] = {
    {"append", 8, "ab", k_separate, "cde", 0, false, RESULT_OK, After::text, "abcde"},
    {"append to empty", 8, "", k_separate, "cde", 0, false, RESULT_OK, After::text, "cde"},
    {"append empty", 8, "ab", k_separate, "", 0, false, RESULT_OK, After::text, "ab"},
    {"fills to destMax - 1", 8, "ab", k_separate, "cdefg", 0, false, RESULT_OK, After::text,
     "abcdefg"},
    {"no room for the terminator", 8, "ab", k_separate, "cdefgh", 0, false,
     RESULT_RANGE_CLEARED, After::empty, nullptr},
    {"unterminated destination", 8, nullptr, k_separate, "a", 0, false, RESULT_INVALID_CLEARED,
     After::empty, nullptr},
    {"unterminated, empty source", 8, nullptr, k_separate, "", 0, false,
     RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"dest onto itself", 10, "abc", 0, "abc", 0, false, RESULT_RANGE_CLEARED, After::empty,
     nullptr},
    {"source inside the string", 10, "abc", 1, "bc", 0, false, RESULT_OVERLAP_CLEARED,
     After::empty, nullptr},
    {"source inside the written area", 16, "ab", 4, "xyz", 0, false, RESULT_OVERLAP_CLEARED,
     After::empty, nullptr},
    {"source where the terminator goes", 16, "ab", 5, "xyz", 0, false, RESULT_OVERLAP_CLEARED,
     After::empty, nullptr},
    {"source just past the written area", 16, "ab", 6, "xyz", 0, false, RESULT_OK, After::text,
     "abxyz"},
    {"source below touching", 8, "x", -3, "abc", 0, false, RESULT_OVERLAP_CLEARED, After::empty,
     nullptr},
    {"source below clear", 8, "x", -4, "abc", 0, false, RESULT_OK, After::text, "xabc"},
    {"unterminated destination ending at the source", 8, nullptr, 8, "abc", 0, false,
     RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"long source, room 10", 10, "", k_separate, "abcdefghi", 0, false, RESULT_OK, After::text,
     "abcdefghi"},
    {"nine characters into room 9", 9, "", k_separate, "abcdefghi", 0, false,
     RESULT_RANGE_CLEARED, After::empty, nullptr},
    {"eight characters into room 9", 9, "", k_separate, "abcdefgh", 0, false, RESULT_OK,
     After::text, "abcdefgh"},
    {"twenty characters", 40, "ab", k_separate, k_twenty.c_str(), 0, false, RESULT_OK,
     After::text, "abtttttttttttttttttttt"},
    {"null src", 8, "ab", k_null, "", 0, false, RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"null dest", 8, "ab", k_separate, "c", 0, true, RESULT_INVALID, After::untouched, nullptr},
    {"destMax 0", 0, "ab", k_separate, "c", 0, false, RESULT_RANGE, After::untouched, nullptr},
    {"destMax above limit", k_over_limit, "ab", k_separate, "c", 0, false, RESULT_RANGE,
     After::untouched, nullptr},
};

TEST(StringAppend, StrcatCases) {
  for (const StrCase &c : k_strcat_cases) run_copy(strcat_s, "strcat_s", c);
}

const StrCase k_strncat_cases[] = {
    {"count cuts the source", 8, "ab", k_separate, "cdefgh", 3, false, RESULT_OK, After::text,
     "abcde"},
    {"source shorter than count", 8, "ab", k_separate, "cd", 10, false, RESULT_OK, After::text,
     "abcd"},
    {"count leaves no room for the terminator", 8, "ab", k_separate, "cdefgh", 6, false,
     RESULT_RANGE_CLEARED, After::empty, nullptr},
    {"count fills to destMax - 1", 8, "ab", k_separate, "cdefgh", 5, false, RESULT_OK,
     After::text, "abcdefg"},
    {"count 0", 8, "ab", k_separate, "cd", 0, false, RESULT_OK, After::text, "ab"},
    {"count 0 unterminated", 8, nullptr, k_separate, "cd", 0, false, RESULT_INVALID_CLEARED,
     After::empty, nullptr},
    {"count above the limit", 8, "ab", k_separate, "cd", k_huge_count, false,
     RESULT_RANGE_CLEARED, After::empty, nullptr},
    {"count at the limit", 8, "ab", k_separate, "cd", LENGTH_LIMIT, false, RESULT_OK,
     After::text, "abcd"},
    {"dest onto itself", 10, "abc", 0, "abc", 2, false, RESULT_RANGE_CLEARED, After::empty,
     nullptr},
    {"source inside the written area", 16, "ab", 4, "xyz", 3, false, RESULT_OVERLAP_CLEARED,
     After::empty, nullptr},
    {"source clear of the counted area", 16, "ab", 5, "xyz", 2, false, RESULT_OK, After::text,
     "abxy"},
    {"null src", 8, "ab", k_null, "", 2, false, RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"null src beats huge count", 8, "ab", k_null, "", k_huge_count, false,
     RESULT_INVALID_CLEARED, After::empty, nullptr},
    {"null dest", 8, "ab", k_separate, "c", 1, true, RESULT_INVALID, After::untouched, nullptr},
    {"destMax 0", 0, "ab", k_separate, "c", 1, false, RESULT_RANGE, After::untouched, nullptr},
    {"destMax above limit", k_over_limit, "ab", k_separate, "c", 1, false, RESULT_RANGE,
     After::untouched, nullptr},
};

TEST(StringAppend, StrncatCases) {
  for (const StrCase &c : k_strncat_cases) run_counted(strncat_s, "strncat_s", c);
}

TEST(StringAppend, StrncatReadsNoFurtherThanCount) {
  // The source holds no terminator; count bounds the read.
  std::array<char, 3> src = {'x', 'y', 'z'};
  std::array<char, 8> dest = {'a', '\0'};
  EXPECT_EQ(strncat_s(dest.data(), dest.size(), src.data(), src.size()), RESULT_OK);
  EXPECT_STREQ(dest.data(), "axyz");
}

TEST(StringCopy, StrncpyReadsNoFurtherThanCount) {
  std::array<char, 3> src = {'x', 'y', 'z'};
  std::array<char, 8> dest{};
  EXPECT_EQ(strncpy_s(dest.data(), dest.size(), src.data(), src.size()), RESULT_OK);
  EXPECT_STREQ(dest.data(), "xyz");
}

}  // namespace
