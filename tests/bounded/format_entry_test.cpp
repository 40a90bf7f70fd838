// What each formatted-output entry point leaves in the destination and
// returns when the arguments are refused or the text does not fit.
#include <gtest/gtest.h>

#include <array>
#include <cstdarg>
#include <string>

#include "bounded/bounded.h"

namespace {

constexpr size_t k_over_limit = 0x80000000u;

struct Outcome {
  int rc;
  std::string text;      // dest as a string afterwards
  bool canary_intact;    // the bytes after destMax were not touched
};

enum class Entry { sprintf_s_, snprintf_s_, truncated_, vsprintf_s_, vsnprintf_s_, vtruncated_ };

int call_v(Entry e, char *dest, size_t destMax, size_t count, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int rc = -100;
  if (e == Entry::vsprintf_s_) rc = vsprintf_s(dest, destMax, format, ap);
  if (e == Entry::vsnprintf_s_) rc = vsnprintf_s(dest, destMax, count, format, ap);
  if (e == Entry::vtruncated_) rc = vsnprintf_truncated_s(dest, destMax, format, ap);
  va_end(ap);
  return rc;
}

Outcome run(Entry e, size_t destMax, size_t count, const char *format, const char *arg) {
  std::array<char, 32> buf;
  buf.fill('Z');
  int rc = -100;
  switch (e) {
    case Entry::sprintf_s_: rc = sprintf_s(buf.data(), destMax, format, arg); break;
    case Entry::snprintf_s_: rc = snprintf_s(buf.data(), destMax, count, format, arg); break;
    case Entry::truncated_: rc = snprintf_truncated_s(buf.data(), destMax, format, arg); break;
    default: rc = call_v(e, buf.data(), destMax, count, format, arg); break;
  }
  size_t held = destMax < buf.size() ? destMax : buf.size();
  bool intact = true;
  for (size_t i = held; i < buf.size(); ++i) intact = intact && buf[i] == 'Z';
  std::string text(buf.data(), strnlen(buf.data(), held));
  return {rc, text, intact};
}

struct FitCase {
  const char *name;
  Entry entry;
  size_t destMax;
  size_t count;
  const char *format;
  const char *arg;
  int rc;
  const char *text;
};

const FitCase k_fit_cases[] = {
    {"sprintf_s fits", Entry::sprintf_s_, 4, 0, "%s", "abc", 3, "abc"},
    {"sprintf_s no room for terminator", Entry::sprintf_s_, 3, 0, "%s", "abc", -1, ""},
    {"sprintf_s far too long", Entry::sprintf_s_, 5, 0, "x%sy", "abcdefgh", -1, ""},
    {"vsprintf_s fits", Entry::vsprintf_s_, 4, 0, "%s", "abc", 3, "abc"},
    {"vsprintf_s too long", Entry::vsprintf_s_, 3, 0, "%s", "abc", -1, ""},
    {"snprintf_s count cuts", Entry::snprintf_s_, 10, 5, "%s", "abcdefgh", -1, "abcde"},
    {"snprintf_s count exact", Entry::snprintf_s_, 10, 8, "%s", "abcdefgh", 8, "abcdefgh"},
    {"snprintf_s count one short", Entry::snprintf_s_, 10, 7, "%s", "abcdefgh", -1, "abcdefg"},
    {"snprintf_s destMax too small", Entry::snprintf_s_, 5, 10, "%s", "abcdefgh", -1, ""},
    {"snprintf_s count equals destMax", Entry::snprintf_s_, 8, 8, "%s", "abcdefgh", -1, ""},
    {"snprintf_s count 0 empty format", Entry::snprintf_s_, 5, 0, "", "", 0, ""},
    {"snprintf_s count 0 text", Entry::snprintf_s_, 5, 0, "%s", "a", -1, ""},
    {"snprintf_s cut inside padding", Entry::snprintf_s_, 20, 4, "%8s", "ab", -1, "    "},
    {"vsnprintf_s count cuts", Entry::vsnprintf_s_, 10, 5, "%s", "abcdefgh", -1, "abcde"},
    {"vsnprintf_s too long", Entry::vsnprintf_s_, 5, 10, "%s", "abcdefgh", -1, ""},
    {"truncated cuts", Entry::truncated_, 5, 0, "%s", "abcdefgh", 4, "abcd"},
    {"truncated exact", Entry::truncated_, 9, 0, "%s", "abcdefgh", 8, "abcdefgh"},
    {"truncated no room for terminator", Entry::truncated_, 8, 0, "%s", "abcdefgh", 7,
     "abcdefg"},
    {"truncated destMax 1", Entry::truncated_, 1, 0, "%s", "abc", 0, ""},
    {"truncated cut in the prefix", Entry::truncated_, 3, 0, "%-+6d", nullptr, 2, "+0"},
    {"vtruncated cuts", Entry::vtruncated_, 5, 0, "%s", "abcdefgh", 4, "abcd"},
    {"vtruncated malformed", Entry::vtruncated_, 20, 0, "%s%", "abc", -1, ""},
    {"truncated malformed format not reached", Entry::truncated_, 2, 0, "%s%", "abc", 1, "a"},
    {"truncated malformed text fitting", Entry::truncated_, 4, 0, "%s%", "abc", -1, ""},
};

TEST(FormatEntry, TextThatDoesNotFit) {
  for (const FitCase &c : k_fit_cases) {
    SCOPED_TRACE(c.name);
    Outcome o = run(c.entry, c.destMax, c.count, c.format, c.arg);
    EXPECT_EQ(o.rc, c.rc);
    EXPECT_EQ(o.text, c.text);
    EXPECT_TRUE(o.canary_intact);
  }
}

TEST(FormatEntry, RefusedArguments) {
  for (Entry e : {Entry::sprintf_s_, Entry::snprintf_s_, Entry::truncated_, Entry::vsprintf_s_,
                  Entry::vsnprintf_s_, Entry::vtruncated_}) {
    SCOPED_TRACE(static_cast<int>(e));
    // Null format: -1 and an empty, usable destination.
    Outcome o = run(e, 8, 4, nullptr, "a");
    EXPECT_EQ(o.rc, -1);
    EXPECT_EQ(o.text, "");
    // destMax 0 or above the limit: -1, nothing written.
    o = run(e, 0, 4, "%s", "a");
    EXPECT_EQ(o.rc, -1);
    EXPECT_TRUE(o.canary_intact);
    o = run(e, k_over_limit, 4, "%s", "a");
    EXPECT_EQ(o.rc, -1);
    EXPECT_EQ(o.text, std::string(32, 'Z'));
  }
  EXPECT_EQ(sprintf_s(nullptr, 8, "%s", "a"), -1);
  EXPECT_EQ(snprintf_s(nullptr, 8, 4, "%s", "a"), -1);
  EXPECT_EQ(snprintf_truncated_s(nullptr, 8, "%s", "a"), -1);
}

TEST(FormatEntry, CountAtTheLimitIsRefused) {
  Outcome o = run(Entry::vsnprintf_s_, 8, 0x7FFFFFFF, "%s", "a");
  EXPECT_EQ(o.rc, -1);
  EXPECT_EQ(o.text, "");
  o = run(Entry::snprintf_s_, 8, 0x7FFFFFFF, "%s", "a");
  EXPECT_EQ(o.rc, -1);
  o = run(Entry::snprintf_s_, 8, 0x7FFFFFFE, "%s", "a");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.text, "a");
}

}  // namespace
