// Literal text between conversions is written a run at a time. These cases
// cut such runs by the capacity at every byte, for runs of every length
// class the writer distinguishes (short moves, up to 16 bytes, scanned past
// 16), alone and with conversions before and after them, against the C
// library's snprintf: the same text up to the cut, the same result codes of
// every entry point, and nothing written at or past the capacity.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bounded/bounded.h"

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

constexpr std::size_t kCanary = 24;

// The run lengths: 1-3, 4-7, 8-16 (two moves each), and past 16.
const char *const kRuns[] = {"a", "ab", "abc", "abcd", "abcdefg", "abcdefgh", "abcdefghijklmno",
                             "abcdefghijklmnop", "abcdefghijklmnopq",
                             "a run of literal text that is well past sixteen bytes long"};

// Shapes around the run R: alone, after and before conversions of both
// paths (plain and general), between two, with "%%" inside and at the end;
// a plain conversion written whole before the general path takes over, and
// two padded plain fields either of which the capacity may cut.
const char *const kShapes[] = {"R",      "%dR",    "R%s",    "%-4dR%08x", "%+dR%.3s",  "%sR%%R",
                               "R%c",    "%5sR%%", "%#xRR",  "R%-6sR",    "%dR%.2sR",  "%08xR%-5dR",
                               "%XR%u",  "R%iR%c"};

struct args {
  int i = -42;
  const char *s = "str";
  unsigned x = 0xbeef;
  char c = 'q';
};

std::string shape_format(const std::string &shape, const std::string &run) {
  std::string f;
  for (char ch : shape) {
    if (ch == 'R') {
      f += run;
    } else {
      f += ch;
    }
  }
  return f;
}

// Calls fn(dest, format) with the arguments the format's conversions take,
// in their order.
template <typename F>
int with_args(const std::string &format, F fn) {
  const args a;
  const std::string shape = format;
  // The conversions used in kShapes, in order of appearance.
  std::vector<char> kinds;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] != '%') continue;
    std::size_t j = i + 1;
    while (j < shape.size() && std::strchr("-+#0123456789.", shape[j]) != nullptr) ++j;
    if (j < shape.size() && shape[j] != '%') kinds.push_back(shape[j]);
    i = j;
  }
  auto arg = [&](std::size_t n) -> char { return n < kinds.size() ? kinds[n] : '\0'; };
  const char *f = format.c_str();
  // Up to two conversions per shape.
  if (kinds.empty()) return fn(f);
  auto one = [&](char k, auto next) {
    switch (k) {
      case 'd':
      case 'i': return next(a.i);
      case 'u':
      case 'X':
      case 'x': return next(a.x);
      case 'c': return next(static_cast<int>(a.c));
      default: return next(a.s);
    }
  };
  if (kinds.size() == 1) {
    return one(arg(0), [&](auto v0) { return fn(f, v0); });
  }
  return one(arg(0), [&](auto v0) {
    return one(arg(1), [&](auto v1) { return fn(f, v0, v1); });
  });
}

struct outcome {
  int rc;
  std::string text;
  bool canary_intact;
};

template <typename Call>
outcome run_cut(const std::string &format, std::size_t destMax, Call call) {
  std::vector<char> buf(destMax + kCanary, 'Z');
  const int rc = with_args(format, [&](const char *f, auto... v) { return call(buf.data(), f, v...); });
  bool intact = true;
  for (std::size_t i = destMax; i < buf.size(); ++i) intact = intact && buf[i] == 'Z';
  return {rc, std::string(buf.data(), strnlen(buf.data(), destMax)), intact};
}

TEST(FormatLiteralRun, CutAtEveryByteByTheCapacity) {
  int checked = 0;
  for (const char *shape : kShapes) {
    for (const char *run : kRuns) {
      const std::string format = shape_format(shape, run);
      char ref[512];
      const int full = with_args(format, [&](const char *f, auto... v) {
        return std::snprintf(ref, sizeof ref, f, v...);
      });
      ASSERT_GT(full, 0) << format;
      const std::string want(ref);
      for (std::size_t destMax = 1; destMax <= static_cast<std::size_t>(full) + 2; ++destMax) {
        const bool fits = static_cast<std::size_t>(full) < destMax;
        const std::string where = format + " destMax " + std::to_string(destMax);

        const outcome s = run_cut(format, destMax, [&](char *d, const char *f, auto... v) {
          return sprintf_s(d, destMax, f, v...);
        });
        EXPECT_EQ(s.rc, fits ? full : -1) << "sprintf_s " << where;
        EXPECT_EQ(s.text, fits ? want : "") << "sprintf_s " << where;
        EXPECT_TRUE(s.canary_intact) << "sprintf_s " << where;

        const outcome t = run_cut(format, destMax, [&](char *d, const char *f, auto... v) {
          return snprintf_truncated_s(d, destMax, f, v...);
        });
        EXPECT_EQ(t.rc, fits ? full : static_cast<int>(destMax - 1)) << "truncated " << where;
        EXPECT_EQ(t.text, want.substr(0, destMax - 1)) << "truncated " << where;
        EXPECT_TRUE(t.canary_intact) << "truncated " << where;

        // A count below the capacity cuts the text at count characters.
        const std::size_t count = destMax - 1;
        const outcome n = run_cut(format, destMax + 5, [&](char *d, const char *f, auto... v) {
          return snprintf_s(d, destMax + 5, count, f, v...);
        });
        EXPECT_EQ(n.rc, static_cast<std::size_t>(full) <= count ? full : -1) << "snprintf_s " << where;
        EXPECT_EQ(n.text, want.substr(0, count)) << "snprintf_s " << where;
        EXPECT_TRUE(n.canary_intact) << "snprintf_s " << where;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 1000);
}

TEST(FormatLiteralRun, MalformedConversionAfterARunStillFailsWholly) {
  // The run before a bad conversion is written, then the call fails and
  // leaves an empty string, whatever the room.
  for (const char *run : kRuns) {
    for (const char *bad : {"%n", "%5%", "%", "%-*", "%.*.2d"}) {
      const std::string format = std::string(run) + bad;
      for (std::size_t destMax : {std::size_t{1}, std::strlen(run), std::strlen(run) + 1, std::size_t{200}}) {
        if (destMax == 0) continue;
        std::vector<char> buf(destMax + kCanary, 'Z');
        EXPECT_EQ(sprintf_s(buf.data(), destMax, format.c_str(), 3, 4), -1) << format << " " << destMax;
        EXPECT_EQ(buf[0], '\0') << format;
        for (std::size_t i = destMax; i < buf.size(); ++i) ASSERT_EQ(buf[i], 'Z') << format;
      }
    }
  }
}

}  // namespace
