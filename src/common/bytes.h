// Bounded readers for multi-byte fields of device pages.
//
// Device pages are untrusted: every reader takes the bytes actually held as a
// span and an offset, and yields 0 for a field that does not lie wholly inside
// them. Values are assembled with shifts, so both target processors agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace bytes {

// True when n bytes starting at off lie inside s.
constexpr bool fits(std::span<const std::uint8_t> s, std::size_t off, std::size_t n) {
  return off <= s.size() && n <= s.size() - off;
}

constexpr std::uint8_t u8(std::span<const std::uint8_t> s, std::size_t off) {
  return fits(s, off, 1) ? s[off] : 0;
}

constexpr std::uint16_t be16(std::span<const std::uint8_t> s, std::size_t off) {
  if (!fits(s, off, 2)) return 0;
  return static_cast<std::uint16_t>((s[off] << 8) | s[off + 1]);
}

constexpr std::uint32_t be32(std::span<const std::uint8_t> s, std::size_t off) {
  if (!fits(s, off, 4)) return 0;
  return (std::uint32_t{s[off]} << 24) | (std::uint32_t{s[off + 1]} << 16) |
         (std::uint32_t{s[off + 2]} << 8) | std::uint32_t{s[off + 3]};
}

constexpr std::uint32_t le32(std::span<const std::uint8_t> s, std::size_t off) {
  if (!fits(s, off, 4)) return 0;
  return (std::uint32_t{s[off + 3]} << 24) | (std::uint32_t{s[off + 2]} << 16) |
         (std::uint32_t{s[off + 1]} << 8) | std::uint32_t{s[off]};
}

// Writers for building pages; they store nothing outside s.
constexpr void put_be16(std::span<std::uint8_t> s, std::size_t off, std::uint16_t v) {
  if (!fits(s, off, 2)) return;
  s[off] = static_cast<std::uint8_t>(v >> 8);
  s[off + 1] = static_cast<std::uint8_t>(v);
}

constexpr void put_be32(std::span<std::uint8_t> s, std::size_t off, std::uint32_t v) {
  if (!fits(s, off, 4)) return;
  for (int i = 0; i < 4; ++i) s[off + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

constexpr void put_le32(std::span<std::uint8_t> s, std::size_t off, std::uint32_t v) {
  if (!fits(s, off, 4)) return;
  for (int i = 0; i < 4; ++i) s[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace bytes
