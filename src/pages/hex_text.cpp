// ASCII hex as captured responses are commonly saved: whitespace- or
// comma-separated bytes of one or two digits, or runs of digit pairs, with
// '#' comments.
#include <cstdio>

#include "bounded/bounded.h"
#include "pages/pages.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == ',';
}

struct hex_reader {
  std::span<const char> text;
  std::span<std::uint8_t> out;
  why_span why;
  std::size_t pos = 0;
  std::size_t stored = 0;
  unsigned line = 1;
};

bool store(hex_reader &r, int value) {
  if (r.stored >= r.out.size()) {
    sprintf_s(r.why.data(), r.why.size(), "more than %zu bytes of hex", r.out.size());
    return false;
  }
  r.out[r.stored++] = static_cast<std::uint8_t>(value);
  return true;
}

// One token of hex digits starting at r.pos.
bool read_token(hex_reader &r) {
  const std::size_t start = r.pos;
  while (r.pos < r.text.size() && !is_separator(r.text[r.pos]) && r.text[r.pos] != '#') {
    if (hex_value(r.text[r.pos]) < 0) {
      const unsigned char c = static_cast<unsigned char>(r.text[r.pos]);
      if (c >= 0x21 && c <= 0x7E) {
        sprintf_s(r.why.data(), r.why.size(), "line %u: '%c' is not a hex digit", r.line, c);
      } else {
        sprintf_s(r.why.data(), r.why.size(), "line %u: byte 0x%02x is not a hex digit", r.line, c);
      }
      return false;
    }
    ++r.pos;
  }
  const std::size_t digits = r.pos - start;
  if (digits == 1) return store(r, hex_value(r.text[start]));
  if (digits % 2 != 0) {
    sprintf_s(r.why.data(), r.why.size(), "line %u: odd number of hex digits (%zu) in one run",
              r.line, digits);
    return false;
  }
  for (std::size_t i = start; i < r.pos; i += 2) {
    if (!store(r, hex_value(r.text[i]) * 16 + hex_value(r.text[i + 1]))) return false;
  }
  return true;
}

}  // namespace

long parse_hex_text(std::span<const char> text, std::span<std::uint8_t> out, why_span why) {
  hex_reader r{text, out, why};
  while (r.pos < text.size()) {
    const char c = text[r.pos];
    if (c == '#') {
      while (r.pos < text.size() && text[r.pos] != '\n') ++r.pos;
    } else if (is_separator(c)) {
      if (c == '\n') ++r.line;
      ++r.pos;
    } else if (!read_token(r)) {
      return -1;
    }
  }
  return static_cast<long>(r.stored);
}

bool looks_like_text(std::span<const std::uint8_t> content) {
  for (std::uint8_t b : content) {
    const bool printable = b >= 0x20 && b <= 0x7E;
    const bool space = b >= 0x09 && b <= 0x0D;
    if (!printable && !space) return false;
  }
  return true;
}
