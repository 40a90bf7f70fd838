// Differential test of the bounded formatted output against the C library's
// snprintf, over random formats from a fixed seed, for the conversions where
// both must agree: d i u o x X c s and "%%", with the flags - + space # 0,
// widths and precisions (also '*') and the sizes hh h l ll. Flags the C
// library leaves undefined for a conversion ('#' outside o x X, '0' with c
// and s), flags on "%%" and precisions above the 512-digit cap are not
// generated. The cases where the two must differ are tested at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bounded/bounded.h"

#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-overflow"
#pragma GCC diagnostic ignored "-Wformat-truncation"

namespace {

constexpr int k_cases = 100000;
constexpr size_t k_buf = 2600;  // above the longest text generated
constexpr size_t k_canary = 16;

enum class Kind { none, i, u, l, ul, ll, ull, str };

struct Arg {
  Kind kind = Kind::none;
  long long sv = 0;
  unsigned long long uv = 0;
  const char *s = nullptr;
};

struct Case {
  std::string format;
  int stars = 0;
  std::array<int, 2> star{};
  Arg a;
  Arg b;
  size_t destMax = 0;
  size_t count = 0;
};

const char *const k_strings[] = {
    "", "a", "abc", "hello world", "0123456789abcdef", "\xff\x80 high bytes",
    "a much longer string that is used to make fields overflow small destinations....",
};
const char *const k_literals[] = {"", "", " ", "abc", "%%", "x=", "\t|", "[%%]", "-"};

struct Gen {
  std::mt19937_64 rng{0x5eed2026u};
  uint64_t next() { return rng(); }
  int range(int lo, int hi) {  // inclusive
    return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1));
  }
  bool chance(int percent) { return range(1, 100) <= percent; }

  uint64_t raw_value() {
    static const uint64_t interesting[] = {
        0, 1, ~0ULL, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0x10000,
        0x7FFFFFFF, 0x80000000ULL, 0xFFFFFFFFULL, 0x100000000ULL, 0x7FFFFFFFFFFFFFFFULL,
        0x8000000000000000ULL, 10, 99, 1000000007ULL};
    if (chance(35)) {
      uint64_t v = interesting[next() % std::size(interesting)];
      return chance(30) ? 0 - v : v;
    }
    return next() >> range(0, 63);
  }
};

std::string gen_flags(Gen &g, char type) {
  std::string flags;
  for (char f : std::string("-+ #0")) {
    if (!g.chance(25)) continue;
    if (f == '#' && std::strchr("oxX", type) == nullptr) continue;
    if (f == '0' && (type == 'c' || type == 's')) continue;
    flags += f;
  }
  std::shuffle(flags.begin(), flags.end(), g.rng);
  return flags;
}

std::string gen_width(Gen &g, Case &c) {
  int pick = g.range(1, 10);
  if (pick <= 3) return "";
  if (pick <= 8) return std::to_string(g.chance(5) ? g.range(1, 700) : g.range(1, 40));
  c.star[c.stars++] = g.range(-40, 40);
  return "*";
}

std::string gen_precision(Gen &g, Case &c, char type) {
  int pick = g.range(1, 10);
  if (pick <= 4) return "";
  if (pick == 5) return ".";
  bool integer = type != 'c' && type != 's';
  if (pick <= 8) {
    // Built by appending: GCC 12 misreads "literal" + std::string&& as an
    // overlapping copy at -O3 (-Wrestrict).
    std::string text = ".";
    text += std::to_string(integer && g.chance(5) ? g.range(100, 512) : g.range(0, 40));
    return text;
  }
  c.star[c.stars++] = g.chance(15) ? g.range(-5, -1) : g.range(0, integer ? 512 : 40);
  return ".*";
}

// The size and the argument of an integer conversion.
std::string gen_integer(Gen &g, char type, Arg &arg) {
  bool is_signed = type == 'd' || type == 'i';
  uint64_t v = g.raw_value();
  static const char *const sizes[] = {"", "hh", "h", "l", "ll"};
  const char *size = sizes[g.range(0, 4)];
  if (std::strcmp(size, "l") == 0) {
    arg.kind = is_signed ? Kind::l : Kind::ul;
  } else if (std::strcmp(size, "ll") == 0) {
    arg.kind = is_signed ? Kind::ll : Kind::ull;
  } else {
    arg.kind = is_signed ? Kind::i : Kind::u;
    v &= 0xFFFFFFFFu;
  }
  arg.uv = v;
  arg.sv = static_cast<long long>(v);
  if (arg.kind == Kind::i) arg.sv = static_cast<int32_t>(static_cast<uint32_t>(v));
  return size;
}

std::string gen_conversion(Gen &g, Case &c) {
  static const char types[] = "diuoxXcs";
  char type = types[g.range(0, 7)];
  std::string text = "%";
  text += gen_flags(g, type);
  text += gen_width(g, c);
  text += gen_precision(g, c, type);
  if (type == 'c') {
    c.a.kind = Kind::i;
    c.a.sv = g.range(0, 255);
  } else if (type == 's') {
    c.a.kind = Kind::str;
    c.a.s = k_strings[g.range(0, static_cast<int>(std::size(k_strings)) - 1)];
  } else {
    text += gen_integer(g, type, c.a);
  }
  return text + type;
}

std::string gen_second(Gen &g, Case &c) {
  static const char *const int_forms[] = {"%d", "%-3d", "%x", "%05u"};
  static const char *const str_forms[] = {"%s", "%.2s", "%4s"};
  int pick = g.range(0, 2);
  if (pick == 0) return "";
  if (pick == 1) {
    c.b.kind = Kind::i;
    c.b.sv = static_cast<int32_t>(g.next());
    return int_forms[g.range(0, 3)];
  }
  c.b.kind = Kind::str;
  c.b.s = k_strings[g.range(0, static_cast<int>(std::size(k_strings)) - 1)];
  return str_forms[g.range(0, 2)];
}

Case gen_case(Gen &g) {
  Case c;
  std::string lit1 = k_literals[g.range(0, 8)];
  std::string conv = gen_conversion(g, c);
  std::string lit2 = k_literals[g.range(0, 8)];
  std::string second = gen_second(g, c);
  c.format = lit1 + conv + lit2 + second + k_literals[g.range(0, 8)];
  return c;
}

std::string describe(const Case &c) {
  std::ostringstream out;
  out << "format \"" << c.format << "\" destMax " << c.destMax << " count " << c.count;
  for (int i = 0; i < c.stars; ++i) out << " star " << c.star[i];
  for (const Arg *a : {&c.a, &c.b}) {
    if (a->kind == Kind::str) out << " str \"" << a->s << "\"";
    if (a->kind == Kind::i || a->kind == Kind::l || a->kind == Kind::ll) out << " int " << a->sv;
    if (a->kind == Kind::u || a->kind == Kind::ul || a->kind == Kind::ull) out << " uint " << a->uv;
  }
  return out.str();
}

// Compares one entry point's result with what the C library's text implies.
std::string compare(const char *who, int rc, const char *buf, size_t destMax, const char *ref,
                    int refLen, int wantRc, size_t keep) {
  std::ostringstream out;
  if (rc != wantRc) out << who << " returned " << rc << ", want " << wantRc << "; ";
  if (std::memcmp(buf, ref, keep) != 0 || buf[keep] != '\0') {
    out << who << " text \"" << std::string(buf, strnlen(buf, destMax)) << "\", want \""
        << std::string(ref, keep) << "\" (full " << refLen << "); ";
  }
  for (size_t i = destMax; i < destMax + k_canary; ++i) {
    if (buf[i] != 'Z') {
      out << who << " wrote past destMax; ";
      break;
    }
  }
  return out.str();
}

struct Buffers {
  std::array<char, k_buf + k_canary> ref;
  std::array<char, k_buf + k_canary> out;
};

template <typename... A>
std::string check(Gen &g, Case &c, Buffers &b, A... args) {
  const char *fmt = c.format.c_str();
  int refLen = std::snprintf(b.ref.data(), k_buf, fmt, args...);
  if (refLen < 0 || static_cast<size_t>(refLen) >= k_buf) return "reference failed";
  size_t len = static_cast<size_t>(refLen);
  static const int picks = 5;
  switch (g.range(0, picks - 1)) {
    case 0: c.destMax = len + 1; break;
    case 1: c.destMax = len == 0 ? 1 : len; break;
    case 2: c.destMax = static_cast<size_t>(g.range(1, refLen + 5)); break;
    case 3: c.destMax = len > 3 ? len - 3 : 1; break;
    default: c.destMax = k_buf; break;
  }
  size_t m = c.destMax;
  bool fits = len < m;
  std::string diff;

  std::memset(b.out.data(), 'Z', m + k_canary);
  int rc = sprintf_s(b.out.data(), m, fmt, args...);
  diff += compare("sprintf_s", rc, b.out.data(), m, b.ref.data(), refLen, fits ? refLen : -1,
                  fits ? len : 0);

  switch (g.range(0, 3)) {
    case 0: c.count = len; break;
    case 1: c.count = len == 0 ? 0 : len - 1; break;
    case 2: c.count = m - 1; break;
    default: c.count = static_cast<size_t>(g.range(0, static_cast<int>(m) + 3)); break;
  }
  std::memset(b.out.data(), 'Z', m + k_canary);
  rc = snprintf_s(b.out.data(), m, c.count, fmt, args...);
  if (c.count < m) {
    bool in = len <= c.count;
    diff += compare("snprintf_s", rc, b.out.data(), m, b.ref.data(), refLen, in ? refLen : -1,
                    in ? len : c.count);
  } else {
    diff += compare("snprintf_s", rc, b.out.data(), m, b.ref.data(), refLen, fits ? refLen : -1,
                    fits ? len : 0);
  }

  std::memset(b.out.data(), 'Z', m + k_canary);
  rc = snprintf_truncated_s(b.out.data(), m, fmt, args...);
  diff += compare("snprintf_truncated_s", rc, b.out.data(), m, b.ref.data(), refLen,
                  fits ? refLen : static_cast<int>(m - 1), fits ? len : m - 1);
  return diff;
}

// Appends the second conversion's argument, then runs the case.
template <typename... A>
std::string with_second(Gen &g, Case &c, Buffers &b, A... pre) {
  switch (c.b.kind) {
    case Kind::i: return check(g, c, b, pre..., static_cast<int>(c.b.sv));
    case Kind::str: return check(g, c, b, pre..., c.b.s);
    default: return check(g, c, b, pre...);
  }
}

template <typename... A>
std::string with_value(Gen &g, Case &c, Buffers &b, A... stars) {
  const Arg &a = c.a;
  switch (a.kind) {
    case Kind::i: return with_second(g, c, b, stars..., static_cast<int>(a.sv));
    case Kind::u: return with_second(g, c, b, stars..., static_cast<unsigned>(a.uv));
    case Kind::l: return with_second(g, c, b, stars..., static_cast<long>(a.sv));
    case Kind::ul: return with_second(g, c, b, stars..., static_cast<unsigned long>(a.uv));
    case Kind::ll: return with_second(g, c, b, stars..., a.sv);
    case Kind::ull: return with_second(g, c, b, stars..., a.uv);
    case Kind::str: return with_second(g, c, b, stars..., a.s);
    default: return "no value";
  }
}

std::string run_case(Gen &g, Case &c, Buffers &b) {
  if (c.stars == 0) return with_value(g, c, b);
  if (c.stars == 1) return with_value(g, c, b, c.star[0]);
  return with_value(g, c, b, c.star[0], c.star[1]);
}

TEST(FormatDifferential, AgreesWithTheCLibrary) {
  Gen g;
  Buffers b{};
  for (int i = 0; i < k_cases; ++i) {
    Case c = gen_case(g);
    std::string diff = run_case(g, c, b);
    if (!diff.empty()) {
      ADD_FAILURE() << "case " << i << ": " << describe(c) << ": " << diff;
      return;
    }
  }
}

// Integers of every digit count, at each edge where the count changes (a
// power of ten or of sixteen, and the values either side), through the bare
// conversions and with a width, into a destination that holds the text
// exactly and one that is a byte short.
TEST(FormatDifferential, IntegersAtEveryDigitCountEdge) {
  std::vector<uint32_t> values = {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  for (uint64_t p = 10; p <= 0xFFFFFFFFu; p *= 10) {
    for (uint64_t v : {p - 1, p, p + 1}) values.push_back(static_cast<uint32_t>(v));
  }
  for (uint64_t p = 16; p <= 0xFFFFFFFFu; p *= 16) {
    for (uint64_t v : {p - 1, p, p + 1}) values.push_back(static_cast<uint32_t>(v));
  }
  int checked = 0;
  for (const char *format : {"%u", "%d", "%i", "%x", "%X", "<%d>", "%5u", "%-3x|", "%011d"}) {
    for (uint32_t v : values) {
      char want[64];
      const int n = std::snprintf(want, sizeof want, format, v);
      ASSERT_GT(n, 0);
      for (size_t destMax : {static_cast<size_t>(n) + 1, static_cast<size_t>(n)}) {
        char got[64];
        std::memset(got, 'Z', sizeof got);
        const int rc = sprintf_s(got, destMax, format, v);
        const bool fits = destMax > static_cast<size_t>(n);
        EXPECT_EQ(rc, fits ? n : -1) << format << " " << v << " destMax " << destMax;
        EXPECT_STREQ(got, fits ? want : "") << format << " " << v << " destMax " << destMax;
        EXPECT_EQ(got[destMax], 'Z') << format << " " << v << " destMax " << destMax;
        std::memset(got, 'Z', sizeof got);
        const int cut = snprintf_truncated_s(got, destMax, format, v);
        EXPECT_EQ(cut, fits ? n : n - 1) << format << " " << v << " destMax " << destMax;
        EXPECT_EQ(std::string(got), std::string(want).substr(0, destMax - 1)) << format << " " << v;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 500);
}

// Where the two legitimately differ.
TEST(FormatDifferential, WhereTheyMustDiffer) {
  std::array<char, 64> buf{};
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%p", nullptr), 5);
  EXPECT_STREQ(buf.data(), "(nil)");
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%.3s", static_cast<const char *>(nullptr)), 3);
  EXPECT_STREQ(buf.data(), "(nu");
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%I64d|%I32d", -5000000000LL, -7), 14);
  EXPECT_STREQ(buf.data(), "-5000000000|-7");
  int seen = 0;
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "ab%n", &seen), -1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(seen, 0);
  // Text that does not fit: the C library reports the full length.
  EXPECT_EQ(std::snprintf(buf.data(), 4, "%s", "abcdef"), 6);
  EXPECT_EQ(sprintf_s(buf.data(), 4, "%s", "abcdef"), -1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(snprintf_truncated_s(buf.data(), 4, "%s", "abcdef"), 3);
  EXPECT_STREQ(buf.data(), "abc");
  // Flags on "%%" are refused.
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%-%"), -1);
  // Precision above 512 stops at 512 digits.
  std::array<char, 1024> wide{};
  EXPECT_EQ(sprintf_s(wide.data(), wide.size(), "%.700x", 1u), 512);
}

}  // namespace
