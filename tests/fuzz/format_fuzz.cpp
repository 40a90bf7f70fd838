// The formatted-output routines with fuzzed format strings.
//
// Argument scheme: the harness reads the fuzzed format itself, with a grammar
// stricter than the engine's (one size per conversion, sizes only where they
// mean something), and works out the type each conversion reads: an int for
// every '*', then int, long, long long, void *, char *, wchar_t *, double or
// long double for the value. A format with a '%' sequence outside that
// grammar, or with more than kMaxArgs arguments, is not run at all, so no
// conversion ever reads an argument that was not passed. The arguments are
// then passed with exactly those types.
//
// Every entry point (sprintf_s, snprintf_s, snprintf_truncated_s and their
// va_list forms) writes into a heap block of exactly destMax bytes, and must
// return a result consistent with the text it left. Where the C library and
// the routines must agree (d i u o x X c s and "%%"; flags - + space # 0,
// widths and precisions, sizes hh h l ll; '#' only with o x X, '0' not with
// c s, integer precision at most 512, no written precision the routines refuse
// as too large), the text and result are compared with snprintf's.
//
// Input: bytes 0-1 destMax, 2-3 count (0xFF in the first byte of each picks
// an extreme value), byte 4 options, bytes 5-28 three 8-byte argument values,
// then the format up to a NUL and, after it, the text for "%s".
#include <array>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bounded/bounded.h"

// The formats are the fuzzer's, never literals: that is the point here.
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"

namespace {

constexpr int kMaxArgs = 3;
constexpr std::size_t kReferenceSize = 4096;  // texts longer than this are not compared
constexpr std::size_t kMaxDestMax = 2600;
constexpr int kMaxIntPrecision = 512;          // the routines' cap on integer digits
constexpr long kMaxFloatField = 100000;        // float fields are built whole on the heap
constexpr long kMaxDigitsValue = 21474836;     // larger written values: the call may fail
constexpr std::size_t kHeaderSize = 29;

enum arg_type : std::uint8_t { t_int, t_long, t_llong, t_ptr, t_str, t_wstr, t_dbl, t_ldbl };

struct plan {
  int nargs = 0;
  std::array<arg_type, kMaxArgs> type{};
  std::array<bool, kMaxArgs> float_star{};  // a '*' of a float conversion
  bool comparable = true;
};

// Extreme capacities are all ones the routines must refuse (the output block
// is destMax bytes); extreme counts may be anything.
constexpr std::array<std::size_t, 6> kExtremeCapacities = {
    0, SIZE_MAX, SIZE_MAX - 1, LENGTH_LIMIT + 1, LENGTH_LIMIT + 2, UINT32_MAX};
constexpr std::array<std::size_t, 9> kExtremeCounts = {
    0, 1, SIZE_MAX, SIZE_MAX - 1, LENGTH_LIMIT, LENGTH_LIMIT + 1, LENGTH_LIMIT - 1, UINT32_MAX,
    kMaxDestMax};

bool add_arg(plan &p, arg_type t) {
  if (p.nargs == kMaxArgs) return false;
  p.type[static_cast<std::size_t>(p.nargs++)] = t;
  return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits as a number, saturating well above every limit.
long read_number(const char *&f) {
  long n = 0;
  while (is_digit(*f)) {
    if (n < 1000000000L) n = n * 10 + (*f - '0');
    ++f;
  }
  return n;
}

// Reads one conversion after its '%'; false when it lies outside the grammar.
bool read_conversion(const char *&f, plan &p) {
  if (*f == '%') {  // "%%": no flags, no argument
    ++f;
    return true;
  }
  std::string flags;
  while (*f != '\0' && std::strchr("-+ #0", *f) != nullptr) flags += *f++;
  int stars_before = p.nargs;
  bool width_star = false, precision_star = false, has_precision = false;
  long width = 0, precision = 0;
  if (*f == '*') {
    ++f;
    width_star = true;
    if (!add_arg(p, t_int)) return false;
  } else if (is_digit(*f)) {
    width = read_number(f);
  }
  if (*f == '.') {
    ++f;
    has_precision = true;
    if (*f == '*') {
      ++f;
      precision_star = true;
      if (!add_arg(p, t_int)) return false;
    } else {
      precision = read_number(f);
    }
  }
  std::string size;
  for (const char *s : {"I64", "I32", "hh", "ll", "h", "l", "L", "q", "z", "Z", "j", "t", "w"}) {
    if (std::strncmp(f, s, std::strlen(s)) == 0) {
      size = s;
      f += size.size();
      break;
    }
  }
  const char type = *f;
  if (type == '\0') return false;
  ++f;
  const bool integer = std::strchr("diouxX", type) != nullptr;
  const bool is_float = std::strchr("eEfFgG", type) != nullptr;
  arg_type value;
  if (integer) {
    if (size.empty() || size == "hh" || size == "h" || size == "I32" || size == "w") {
      value = t_int;
    } else if (size == "l" || size == "z" || size == "Z" || size == "j" || size == "t") {
      value = t_long;
    } else {
      value = t_llong;  // ll L q I64
    }
  } else if (type == 'p') {
    if (!size.empty()) return false;
    value = t_ptr;
  } else if (type == 'c' || type == 'C') {
    if (!size.empty() && size != "h" && size != "hh" && size != "l" && size != "w") return false;
    value = t_int;
  } else if (type == 's' || type == 'S') {
    if (size == "l" || size == "w") {
      value = t_wstr;
    } else if (size == "h" || size == "hh") {
      value = t_str;
    } else if (size.empty()) {
      value = type == 's' ? t_str : t_wstr;
    } else {
      return false;
    }
  } else if (is_float) {
    if (size == "L" || size == "q") {
      value = t_ldbl;
    } else if (size.empty() || size == "l") {
      value = t_dbl;
    } else {
      return false;
    }
    // The field is formatted whole on the heap before it is cut.
    if (width > kMaxFloatField || precision > kMaxFloatField) return false;
    for (int i = stars_before; i < p.nargs; ++i) p.float_star[static_cast<std::size_t>(i)] = true;
  } else {
    return false;
  }
  if (!add_arg(p, value)) return false;

  // Where the C library's text is the reference.
  const bool narrow_text = (type == 'c' || type == 's') && size.empty();
  const bool agreed_size = size.empty() || size == "hh" || size == "h" || size == "l" ||
                           size == "ll";
  bool agree = (integer && agreed_size) || narrow_text;
  if (flags.find('#') != std::string::npos && std::strchr("oxX", type) == nullptr) agree = false;
  if (flags.find('0') != std::string::npos && narrow_text) agree = false;
  if (integer && has_precision && (precision > kMaxIntPrecision || precision_star)) agree = false;
  // Written widths and precisions above 214748369 make the routines fail,
  // and so does a '*' precision above it, which the C library accepts.
  if (precision > kMaxDigitsValue) agree = false;
  if (narrow_text && precision_star) agree = false;
  if (width > static_cast<long>(kReferenceSize) || width_star) agree = false;
  if (!agree) p.comparable = false;
  return true;
}

bool read_format(const char *f, plan &p) {
  while (*f != '\0') {
    if (*f++ != '%') continue;
    if (!read_conversion(f, p)) return false;
  }
  return true;
}

struct values {
  std::array<std::uint64_t, kMaxArgs> raw{};
  const char *text = nullptr;
  const wchar_t *wide = L"wide \x263A text";
};

int star_value(const plan &p, const values &v, std::size_t i) {
  const auto n = static_cast<int>(static_cast<std::uint32_t>(v.raw[i]));
  if (!p.float_star[i]) return n;
  return static_cast<int>(n % (kMaxFloatField + 1));
}

// One case: the format, the capacity and count, the reference text.
struct run_case {
  const char *format;
  std::size_t destMax;
  std::size_t count;
  bool compare;
  std::string describe;
};

[[noreturn]] void fail(const run_case &c, const char *who, const char *what) {
  std::fprintf(stderr, "format fuzz: %s %s; format \"%s\" destMax %zu count %zu %s\n", who, what,
               c.format, c.destMax, c.count, c.describe.c_str());
  std::abort();
}

// The va_list entry points, reached through a variadic wrapper.
int call_vsprintf(char *d, std::size_t m, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  const int r = vsprintf_s(d, m, f, ap);
  va_end(ap);
  return r;
}
int call_vsnprintf(char *d, std::size_t m, std::size_t n, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  const int r = vsnprintf_s(d, m, n, f, ap);
  va_end(ap);
  return r;
}
int call_vsnprintf_truncated(char *d, std::size_t m, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  const int r = vsnprintf_truncated_s(d, m, f, ap);
  va_end(ap);
  return r;
}

// The capacity the routines can use: none for a refused destMax.
bool usable(std::size_t destMax) { return destMax != 0 && destMax <= LENGTH_LIMIT; }

// Checks one result: want_rc and the first keep bytes of ref when compared,
// otherwise only that the result matches the text left. A "%c" of 0 puts a
// NUL inside the text, so the terminator is looked for where the result says.
void check(const run_case &c, const char *who, int rc, const char *out, const char *ref,
           int want_rc, std::size_t keep) {
  if (!usable(c.destMax)) {
    if (rc != -1) fail(c, who, "accepted an unusable destMax");
    return;
  }
  if (rc < -1) fail(c, who, "returned below -1");
  if (rc >= 0 && (static_cast<std::size_t>(rc) >= c.destMax || out[rc] != '\0')) {
    fail(c, who, "result does not end the text");
  }
  if (rc == -1 && std::memchr(out, '\0', c.destMax) == nullptr) fail(c, who, "left no terminator");
  if (!c.compare) return;
  if (rc != want_rc) fail(c, who, "result differs from the C library's");
  if (out[keep] != '\0' || std::memcmp(out, ref, keep) != 0) {
    fail(c, who, "text differs from the C library's");
  }
}

template <typename... A>
void run_all(const run_case &c, A... args) {
  // Unusable capacities get a one-byte block: the routines must not write it.
  const std::size_t block = usable(c.destMax) ? c.destMax : 1;
  char *out = new char[block];
  std::array<char, kReferenceSize> ref{};
  std::size_t len = 0;
  run_case rc_case = c;
  if (c.compare) {
    const int n = std::snprintf(ref.data(), ref.size(), c.format, args...);
    if (n < 0 || static_cast<std::size_t>(n) >= ref.size()) {
      rc_case.compare = false;
    } else {
      len = static_cast<std::size_t>(n);
    }
  }
  const std::size_t m = c.destMax;
  const bool fits = len < m;
  const int full = static_cast<int>(len);

  std::memset(out, 'Z', block);
  int rc = sprintf_s(out, m, c.format, args...);
  check(rc_case, "sprintf_s", rc, out, ref.data(), fits ? full : -1, fits ? len : 0);
  std::memset(out, 'Z', block);
  int vrc = call_vsprintf(out, m, c.format, args...);
  check(rc_case, "vsprintf_s", vrc, out, ref.data(), fits ? full : -1, fits ? len : 0);

  const bool counted = c.count < m && c.count < LENGTH_LIMIT;
  const bool in = len <= c.count;
  const int want_n = counted ? (in ? full : -1) : (fits ? full : -1);
  const std::size_t keep_n = counted ? (in ? len : c.count) : (fits ? len : 0);
  run_case counted_case = rc_case;
  if (c.count >= LENGTH_LIMIT) counted_case.compare = false;  // refused: checked below
  std::memset(out, 'Z', block);
  rc = snprintf_s(out, m, c.count, c.format, args...);
  if (c.count >= LENGTH_LIMIT && rc != -1) fail(c, "snprintf_s", "accepted a count above the limit");
  check(counted_case, "snprintf_s", rc, out, ref.data(), want_n, keep_n);
  std::memset(out, 'Z', block);
  vrc = call_vsnprintf(out, m, c.count, c.format, args...);
  if (vrc != rc) fail(c, "vsnprintf_s", "differs from snprintf_s");
  check(counted_case, "vsnprintf_s", vrc, out, ref.data(), want_n, keep_n);

  const int want_t = fits ? full : static_cast<int>(m - 1);
  const std::size_t keep_t = fits ? len : m - 1;
  std::memset(out, 'Z', block);
  rc = snprintf_truncated_s(out, m, c.format, args...);
  check(rc_case, "snprintf_truncated_s", rc, out, ref.data(), want_t, keep_t);
  std::memset(out, 'Z', block);
  vrc = call_vsnprintf_truncated(out, m, c.format, args...);
  if (vrc != rc) fail(c, "vsnprintf_truncated_s", "differs from snprintf_truncated_s");
  check(rc_case, "vsnprintf_truncated_s", vrc, out, ref.data(), want_t, keep_t);
  delete[] out;
}

// Appends argument i with its type, then the next, until all are passed.
template <int I, typename... A>
void dispatch(const run_case &c, const plan &p, const values &v, A... args) {
  if constexpr (I == kMaxArgs) {
    run_all(c, args...);
  } else {
    if (I == p.nargs) {
      run_all(c, args...);
      return;
    }
    constexpr auto i = static_cast<std::size_t>(I);
    const std::uint64_t raw = v.raw[i];
    double d;
    std::memcpy(&d, &raw, sizeof d);
    switch (p.type[i]) {
      case t_int: return dispatch<I + 1>(c, p, v, args..., star_value(p, v, i));
      case t_long: return dispatch<I + 1>(c, p, v, args..., static_cast<long>(raw));
      case t_llong: return dispatch<I + 1>(c, p, v, args..., static_cast<long long>(raw));
      case t_ptr:
        return dispatch<I + 1>(c, p, v, args..., reinterpret_cast<void *>(static_cast<std::uintptr_t>(raw)));
      case t_str: return dispatch<I + 1>(c, p, v, args..., v.text);
      case t_wstr: return dispatch<I + 1>(c, p, v, args..., v.wide);
      case t_dbl: return dispatch<I + 1>(c, p, v, args..., d);
      case t_ldbl: return dispatch<I + 1>(c, p, v, args..., static_cast<long double>(d) * 1.5L);
    }
  }
}

template <std::size_t N>
std::size_t pick_size(std::uint8_t hi, std::uint8_t lo, std::size_t modulus,
                      const std::array<std::size_t, N> &extremes) {
  if (hi == 0xFF) return extremes[lo % N];
  return (static_cast<std::size_t>(hi) << 8 | lo) % modulus;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < kHeaderSize) return 0;
  const std::string body(reinterpret_cast<const char *>(data) + kHeaderSize, size - kHeaderSize);
  const std::string format = body.substr(0, body.find('\0'));
  const std::size_t nul = body.find('\0');
  const std::string text = nul == std::string::npos ? "" : std::string(body.c_str() + nul + 1);

  plan p;
  if (!read_format(format.c_str(), p)) return 0;
  values v;
  for (std::size_t i = 0; i < kMaxArgs; ++i) std::memcpy(&v.raw[i], data + 5 + 8 * i, 8);
  const bool null_text = (data[4] & 1) != 0;
  v.text = null_text ? nullptr : text.c_str();
  std::size_t destMax = pick_size(data[0], data[1], kMaxDestMax, kExtremeCapacities);
  if (data[0] != 0xFF) destMax += 1;
  run_case c{format.c_str(), destMax, pick_size(data[2], data[3], kMaxDestMax + 100, kExtremeCounts),
             p.comparable && !null_text, ""};
  for (int i = 0; i < p.nargs; ++i) {
    c.describe += " arg" + std::to_string(i) + "=" + std::to_string(v.raw[static_cast<std::size_t>(i)]);
  }
  dispatch<0>(c, p, v);
  return 0;
}
