#include "pages/sha256.h"

#include "common/bytes.h"

namespace {

constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t rotr(std::uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

void compress(sha256_state &s) {
  std::array<std::uint32_t, 64> w{};
  for (std::size_t i = 0; i < 16; ++i) w[i] = bytes::be32(s.block, 4 * i);
  for (std::size_t i = 16; i < 64; ++i) {
    const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::array<std::uint32_t, 8> v = s.h;  // a b c d e f g h
  for (std::size_t i = 0; i < 64; ++i) {
    const std::uint32_t e = v[4];
    const std::uint32_t a = v[0];
    const std::uint32_t t1 = v[7] + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) +
                             ((e & v[5]) ^ (~e & v[6])) + kRound[i] + w[i];
    const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) +
                             ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
    v = {t1 + t2, a, v[1], v[2], v[3] + t1, e, v[5], v[6]};
  }
  for (std::size_t i = 0; i < 8; ++i) s.h[i] += v[i];
}

}  // namespace

void sha256_init(sha256_state &s) {
  s.h = kInitial;
  s.block = {};
  s.held = 0;
  s.total_bytes = 0;
}

void sha256_update(sha256_state &s, std::span<const std::uint8_t> data) {
  for (std::uint8_t b : data) {
    s.block[s.held++] = b;
    if (s.held == s.block.size()) {
      compress(s);
      s.held = 0;
    }
  }
  s.total_bytes += data.size();
}

std::array<std::uint8_t, 32> sha256_final(sha256_state &s) {
  const std::uint64_t bits = s.total_bytes * 8;
  s.block[s.held++] = 0x80;
  if (s.held > 56) {
    while (s.held < 64) s.block[s.held++] = 0;
    compress(s);
    s.held = 0;
  }
  while (s.held < 56) s.block[s.held++] = 0;
  bytes::put_be32(s.block, 56, static_cast<std::uint32_t>(bits >> 32));
  bytes::put_be32(s.block, 60, static_cast<std::uint32_t>(bits));
  compress(s);
  std::array<std::uint8_t, 32> digest{};
  for (std::size_t i = 0; i < 8; ++i) bytes::put_be32(digest, 4 * i, s.h[i]);
  return digest;
}

void sha256_hex(const std::array<std::uint8_t, 32> &digest, std::span<char, 65> text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  text[64] = '\0';
}
