// Builds device pages and images byte by byte: the simulated expander's
// pages, the tests' and the benchmarks' hand-made pages and the fuzz corpus.
// Every write is checked against the bytes the page holds; a write outside
// them is the builder's own fault and stops the program at once instead of
// writing past the page. Diagnostic pages are big-endian; the NV crash log
// image is little-endian, as the expander's firmware writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/bytes.h"
#include "common/page_codes.h"

namespace page_bytes {

using bytevec = std::vector<std::uint8_t>;

// Stops the program unless [off, off + n) lies within b.
inline void check_room(const bytevec &b, std::size_t off, std::size_t n) {
  if (!bytes::fits(b, off, n)) {
    std::fprintf(stderr, "page builder: %zu bytes at %zu of a %zu-byte page\n", n, off, b.size());
    std::abort();
  }
}

// Writes the low n bytes of v at off, most significant first.
inline void put_be(bytevec &b, std::size_t off, std::size_t n, std::uint64_t v) {
  check_room(b, off, n);
  for (std::size_t i = 0; i < n; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * (n - 1 - i)));
}

// Writes the low n bytes of v at off, least significant first.
inline void put_le(bytevec &b, std::size_t off, std::size_t n, std::uint64_t v) {
  check_room(b, off, n);
  for (std::size_t i = 0; i < n; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void put_be16(bytevec &b, std::size_t off, std::uint32_t v) { put_be(b, off, 2, v); }
inline void put_be32(bytevec &b, std::size_t off, std::uint32_t v) { put_be(b, off, 4, v); }
inline void put_be64(bytevec &b, std::size_t off, std::uint64_t v) { put_be(b, off, 8, v); }
inline void put_le32(bytevec &b, std::size_t off, std::uint32_t v) { put_le(b, off, 4, v); }

// Sets a diagnostic page's page_length from the page's size.
inline void seal_page_length(bytevec &page) {
  check_room(page, 0, page_header::kSize);
  put_be16(page, page_header::kLengthField,
           static_cast<std::uint32_t>(page.size() - page_header::kSize));
}

}  // namespace page_bytes
