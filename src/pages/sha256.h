// SHA-256 (FIPS 180-4), fed in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

struct sha256_state {
  std::array<std::uint32_t, 8> h;
  std::array<std::uint8_t, 64> block;
  std::size_t held = 0;          // bytes waiting in block
  std::uint64_t total_bytes = 0; // bytes fed so far
};

void sha256_init(sha256_state &s);
void sha256_update(sha256_state &s, std::span<const std::uint8_t> data);
std::array<std::uint8_t, 32> sha256_final(sha256_state &s);

// The digest as 64 lower-case hex characters and a NUL.
void sha256_hex(const std::array<std::uint8_t, 32> &digest, std::span<char, 65> text);
