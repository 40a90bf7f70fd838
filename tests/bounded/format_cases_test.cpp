// Conversions of the bounded formatted-output routines: each case is checked
// through sprintf_s and through snprintf_truncated_s, which must agree
// whenever the text fits.
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bounded/bounded.h"

#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-zero-length"
#pragma GCC diagnostic ignored "-Wformat-overflow"
#pragma GCC diagnostic ignored "-Wformat-truncation"

namespace {

template <typename... A>
std::string formatted(int *rc, const char *format, A... args) {
  std::array<char, 2048> buf;
  buf.fill('Z');
  *rc = sprintf_s(buf.data(), buf.size(), format, args...);
  std::array<char, 2048> other;
  other.fill('Y');
  int rc2 = snprintf_truncated_s(other.data(), other.size(), format, args...);
  EXPECT_EQ(rc2, *rc) << format;
  EXPECT_STREQ(other.data(), buf.data()) << format;
  return std::string(buf.data(), *rc < 0 ? 0 : static_cast<size_t>(*rc));
}

#define EXPECT_FMT(expected, ...)                                   \
  do {                                                              \
    int rc_;                                                        \
    std::string got_ = formatted(&rc_, __VA_ARGS__);                \
    std::string want_ = (expected);                                 \
    EXPECT_EQ(rc_, static_cast<int>(want_.size())) << #__VA_ARGS__; \
    EXPECT_EQ(got_, want_) << #__VA_ARGS__;                         \
  } while (0)

// A malformed format: -1 and an empty destination, for every entry point.
template <typename... A>
void expect_refused(const char *format, A... args) {
  std::array<char, 64> buf;
  buf.fill('Z');
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), format, args...), -1) << format;
  EXPECT_EQ(buf[0], '\0') << format;
  buf.fill('Z');
  EXPECT_EQ(snprintf_s(buf.data(), buf.size(), 10, format, args...), -1) << format;
  EXPECT_EQ(buf[0], '\0') << format;
  buf.fill('Z');
  EXPECT_EQ(snprintf_truncated_s(buf.data(), buf.size(), format, args...), -1) << format;
  EXPECT_EQ(buf[0], '\0') << format;
}

TEST(FormatCases, Percent) {
  EXPECT_FMT("%", "%%");
  EXPECT_FMT("a%b", "a%%b");
  EXPECT_FMT("", "");
  EXPECT_FMT("plain text", "plain text");
}

TEST(FormatCases, MalformedFormats) {
  expect_refused("%5%");
  expect_refused("%n", nullptr);
  expect_refused("abc%");
  expect_refused("%a", 1.0);
  expect_refused("%-%");
  expect_refused("%.5.3d", 1);
  expect_refused("%5*d", 1, 2);
  expect_refused("%l5d", 1);
  expect_refused("%l-d", 1);
  expect_refused("%ld%", 1L);
  expect_refused("%.", 1);
  expect_refused("%\x80", 1);
  expect_refused("%999999999d", 1);
  expect_refused("%.999999999d", 1);
  expect_refused("%*d", -214748361, 1);
  expect_refused("%.*d", 214748361, 1);
  // A '*' precision for a string is held to the same limit, though the C
  // library takes it (found by fuzzing the formats against it).
  expect_refused("%.*s", 214748361, "ab");
  expect_refused("%.*s", 1684537344, "");
  expect_refused("%hh", 1);
}

TEST(FormatCases, LimitsOfWidthAndPrecisionFromArguments) {
  // The largest accepted '*' values are taken; the text then cannot fit.
  std::array<char, 16> buf{};
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%*d", -214748360, 1), -1);
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%.*d|", 214748360, 1), -1);
  EXPECT_EQ(snprintf_truncated_s(buf.data(), buf.size(), "%.*d|", 214748360, 1), 15);
  EXPECT_EQ(std::string(buf.data()), std::string(15, '0'));
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%.*s|", 214748360, "ab"), 3);
  EXPECT_EQ(std::string(buf.data()), "ab|");
}

TEST(FormatCases, SignedIntegers) {
  EXPECT_FMT("-2147483648", "%d", INT32_MIN);
  EXPECT_FMT("2147483647", "%i", INT32_MAX);
  EXPECT_FMT("-1", "%hhd", 255);
  EXPECT_FMT("-128", "%hhd", 128);
  EXPECT_FMT("127", "%hhd", 127);
  EXPECT_FMT("-32768", "%hd", 0x8000);
  EXPECT_FMT("+0", "%+d", 0);
  EXPECT_FMT(" 5", "% d", 5);
  EXPECT_FMT("+5", "%+ d", 5);
  EXPECT_FMT("", "%.0d", 0);
  EXPECT_FMT("-9223372036854775808", "%lld", INT64_MIN);
  EXPECT_FMT("-9223372036854775808", "%ld", INT64_MIN);
  EXPECT_FMT("-0042", "%05d", -42);
  EXPECT_FMT("  -042", "%6.3d", -42);
  EXPECT_FMT("42   ", "%-05d", 42);
  EXPECT_FMT("42   ", "%*d", -5, 42);
  EXPECT_FMT("   42", "%*d", 5, 42);
  EXPECT_FMT("42", "%.*d", -3, 42);
}

TEST(FormatCases, LaterWidthReplacesEarlierOne) {
  EXPECT_FMT("42  |", "%5-4d|", 42);
  EXPECT_FMT("    7", "%*5d", 0, 7);
}

TEST(FormatCases, UnsignedIntegers) {
  EXPECT_FMT("255", "%hhu", 511);
  EXPECT_FMT("65535", "%hu", -1);
  EXPECT_FMT("4294967295", "%u", -1);
  EXPECT_FMT("18446744073709551615", "%llu", ~0ULL);
  EXPECT_FMT("18446744073709551615", "%zu", SIZE_MAX);
  EXPECT_FMT("-5", "%td", static_cast<ptrdiff_t>(-5));
  EXPECT_FMT("-7", "%jd", static_cast<intmax_t>(-7));
  EXPECT_FMT("0", "%#x", 0);
  EXPECT_FMT("0xff", "%#x", 255);
  EXPECT_FMT("0XFF", "%#X", 255);
  EXPECT_FMT("010", "%#o", 8);
  EXPECT_FMT("0", "%#o", 0);
  EXPECT_FMT("0", "%#.0o", 0);
  EXPECT_FMT("", "%#.0x", 0);
  EXPECT_FMT("0x00ff", "%#.4x", 255);
  EXPECT_FMT("0x000ff", "%#07x", 255);
  EXPECT_FMT("00000010", "%08x", 16);
  EXPECT_FMT("0x0000ab12 ", "0x%08x ", 0xab12);
  EXPECT_FMT("5", "%+u", 5);
}

TEST(FormatCases, PrecisionCappedAtWorkBuffer) {
  EXPECT_FMT(std::string(511, '0') + "1", "%.600d", 1);
  EXPECT_FMT(std::string(511, '0') + "1", "%.512d", 1);
  EXPECT_FMT("-" + std::string(511, '0') + "1", "%.513d", -1);
  EXPECT_FMT(std::string(512, '0'), "%#.600o", 0);
}

TEST(FormatCases, SizesOfTheOtherConvention) {
  EXPECT_FMT("Iz", "%Iz");
  EXPECT_FMT("Iy", "%-5Iy");
  EXPECT_FMT("I", "%I");
  EXPECT_FMT("-1099511627776", "%I64d", -1099511627776LL);
  EXPECT_FMT("-1099511627776", "%Id", -1099511627776LL);
  EXPECT_FMT("ffffffffff", "%I64x", 0xffffffffffULL);
  EXPECT_FMT("-1", "%I32d", -1);
  EXPECT_FMT("4294967295", "%I32u", 0xFFFFFFFFu);
  EXPECT_FMT("12", "%Nd", 12);
}

TEST(FormatCases, Pointers) {
  EXPECT_FMT("(nil)", "%p", nullptr);
  EXPECT_FMT("     (nil)", "%10p", nullptr);
  EXPECT_FMT("(nil)     ", "%-10p", nullptr);
  EXPECT_FMT("(nil)", "%.3p", nullptr);
  void *p = reinterpret_cast<void *>(static_cast<uintptr_t>(0xab));
  EXPECT_FMT("0xab", "%p", p);
  EXPECT_FMT("0x0000ab", "%08p", p);
  EXPECT_FMT("    0xab", "%8p", p);
  EXPECT_FMT("0xab", "%.6p", p);
}

TEST(FormatCases, Strings) {
  EXPECT_FMT("(null)", "%s", static_cast<const char *>(nullptr));
  EXPECT_FMT("(nu", "%.3s", static_cast<const char *>(nullptr));
  EXPECT_FMT("   ab", "%05s", "ab");
  EXPECT_FMT("ab   |", "%-5s|", "ab");
  EXPECT_FMT("abc", "%.3s", "abcdef");
  EXPECT_FMT("", "%.0s", "abcdef");
  EXPECT_FMT("abc", "%.*s", -1, "abc");
  EXPECT_FMT("x", "%hs", "x");
  EXPECT_FMT("a", "%c", 'a');
  EXPECT_FMT("    a", "%05c", 'a');
  EXPECT_FMT("a    |", "%-5c|", 'a');
  EXPECT_FMT("a", "%.0c", 'a');
  EXPECT_FMT("A", "%hC", 'A');
}

TEST(FormatCases, NulCharacterIsWritten) {
  std::array<char, 8> buf;
  buf.fill('Z');
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "a%cb", 0), 3);
  EXPECT_EQ(std::string(buf.data(), 4), std::string("a\0b\0", 4));
}

TEST(FormatCases, WideTextInTheCLocale) {
  EXPECT_FMT("abc", "%ls", L"abc");
  EXPECT_FMT("abc", "%S", L"abc");
  EXPECT_FMT("abc", "%ws", L"abc");
  EXPECT_FMT("ab", "%.2ls", L"abc");
  EXPECT_FMT("  abc", "%5ls", L"abc");
  EXPECT_FMT("(null)", "%ls", static_cast<const wchar_t *>(nullptr));
  EXPECT_FMT("(nu", "%.3ls", static_cast<const wchar_t *>(nullptr));
  EXPECT_FMT("x", "%lc", L'x');
  EXPECT_FMT("  x", "%3C", L'x');
  // A character the C locale cannot represent fails the call.
  expect_refused("%ls", L"a\u00e9");
  expect_refused("%lc", 0xe9);
}

// Switches to a UTF-8 locale for one test and back.
struct Utf8Locale {
  std::string saved;
  bool ok;
  Utf8Locale() : saved(std::setlocale(LC_ALL, nullptr)) {
    ok = std::setlocale(LC_ALL, "C.UTF-8") != nullptr;
  }
  ~Utf8Locale() { std::setlocale(LC_ALL, saved.c_str()); }
};

TEST(FormatCases, WideFieldWidthCountsCharacters) {
  Utf8Locale loc;
  if (!loc.ok) GTEST_SKIP() << "no UTF-8 locale";
  EXPECT_FMT("  \xc3\xa9\xc3\xa9", "%4ls", L"\u00e9\u00e9");
  EXPECT_FMT("\xc3\xa9 ", "%-2lc", 0xe9);
  // Cut inside a multibyte character: the bytes before the cut stay.
  std::array<char, 4> buf{};
  EXPECT_EQ(snprintf_truncated_s(buf.data(), buf.size(), "%ls", L"a\u00e9\u00e9"), 3);
  EXPECT_EQ(std::string(buf.data()), "a\xc3\xa9");
}

TEST(FormatCases, FloatingConversionsAgreeWithTheLibrary) {
  struct Case {
    const char *format;
    double value;
  };
  const Case cases[] = {
      {"%f", 1.5},       {"%10.3f", -3.14159}, {"%-10.2e|", 12345.678}, {"%+08.2f", 2.5},
      {"%g", 0.0001},    {"%.0g", 123.0},      {"%#g", 1.0},           {"%G", 1e-20},
      {"%E", 6.02e23},   {"%F", 1e300},        {"% .3f", 1.0},         {"%.0f", 2.5},
      {"%.g", 100.0},    {"%e", 0.0},          {"%f", -0.0},           {"%.600f", 1.0 / 3},
      {"%0600.3f", 7.0}, {"%-#+ 020.10e", 1.0},
  };
  for (const Case &c : cases) {
    std::vector<char> want(1500);
    int n = std::snprintf(want.data(), want.size(), c.format, c.value);
    ASSERT_GE(n, 0);
    EXPECT_FMT(std::string(want.data(), static_cast<size_t>(n)), c.format, c.value);
  }
}

TEST(FormatCases, FloatingWidthAndPrecisionFromArguments) {
  std::array<char, 64> want{};
  std::snprintf(want.data(), want.size(), "[%*.*f]", -12, 3, 2.75);
  EXPECT_FMT(want.data(), "[%*.*f]", -12, 3, 2.75);
  std::snprintf(want.data(), want.size(), "[%*f]", 12, 2.75);
  EXPECT_FMT(want.data(), "[%*f]", 12, 2.75);
  std::snprintf(want.data(), want.size(), "[%.*e]", 2, 2.75);
  EXPECT_FMT(want.data(), "[%.*e]", 2, 2.75);
  std::snprintf(want.data(), want.size(), "[%.*e]", -2, 2.75);
  EXPECT_FMT(want.data(), "[%.*e]", -2, 2.75);
}

TEST(FormatCases, LongDouble) {
  std::array<char, 64> want{};
  std::snprintf(want.data(), want.size(), "%Lf|%.3Le", 1.25L, -7.5L);
  EXPECT_FMT(want.data(), "%Lf|%.3Le", 1.25L, -7.5L);
  EXPECT_FMT(want.data(), "%qf|%.3qe", 1.25L, -7.5L);
}

TEST(FormatCases, LongConversionTextGoesThroughTheHeap) {
  // A conversion text over 15 characters and a text over 512 bytes.
  std::vector<char> want(20000);
  int n = std::snprintf(want.data(), want.size(), "%-+ #010000.1000Lf|", 1.0L / 7);
  ASSERT_GT(n, 10000);
  std::vector<char> buf(20000);
  EXPECT_EQ(sprintf_s(buf.data(), buf.size(), "%-+ #010000.1000Lf|", 1.0L / 7), n);
  EXPECT_EQ(std::string(buf.data()), std::string(want.data()));
}

TEST(FormatCases, RefusedFloatingConversionWritesNothingAndKeepsArguments) {
  EXPECT_FMT("<>7", "<%.214748012f>%d", 1.0, 7);
  EXPECT_FMT("<>7", "<%.214743389Lf>%d", 1.0L, 7);
  EXPECT_FMT("<>x", "<%*f>%s", INT32_MAX, 1.0, "x");
}

TEST(FormatCases, ArgumentsStayInOrderAcrossConversions) {
  EXPECT_FMT("1 ab 2.500000 c 0x10 -3 (nil) 4",
             "%d %s %f %c %#x %lld %p %hhu", 1, "ab", 2.5, 'c', 16, -3LL, nullptr, 260);
  EXPECT_FMT("[   1|2    |  3]", "[%*d|%-*d|%*.*d]", 4, 1, 5, 2, 3, 1, 3);
}

}  // namespace
