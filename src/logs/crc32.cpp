// CRC-32/BZIP2 (polynomial 0x04C11DB7, initial register 0xFFFFFFFF, bits not
// reflected, final complement), which guards the NV crash dump header.
#include <cstdio>

#include "logs/logs.h"

namespace {

constexpr std::uint32_t kPolynomial = 0x04C11DB7u;

constexpr std::array<std::uint32_t, 256> make_crc32_lut() {
  std::array<std::uint32_t, 256> lut{};
  for (std::uint32_t n = 0; n < lut.size(); ++n) {
    std::uint32_t reg = n << 24;
    for (int step = 0; step < 8; ++step) {
      reg = (reg & 0x80000000u) != 0 ? (reg << 1) ^ kPolynomial : reg << 1;
    }
    lut[n] = reg;
  }
  return lut;
}

constexpr std::array<std::uint32_t, 256> kLut = make_crc32_lut();
static_assert(kLut[0] == 0x00000000u);
static_assert(kLut[1] == 0x04C11DB7u);
static_assert(kLut[2] == 0x09823B6Eu);
static_assert(kLut[255] == 0xB1F740B4u);

}  // namespace

const std::array<std::uint32_t, 256> crc32_lut = kLut;

std::uint32_t crc32(const std::uint8_t *data, std::uint32_t len) {
  if (len == 0) {
    std::printf("do not crc the file\n\r");
    return 0;
  }
  std::uint32_t reg = 0xFFFFFFFFu;
  for (std::uint32_t i = 0; i < len; ++i) {
    reg = crc32_lut[((reg >> 24) ^ data[i]) & 0xFFu] ^ (reg << 8);
  }
  return ~reg;
}
