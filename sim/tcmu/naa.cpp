#include "tcmu/naa.h"

namespace tcmu {

bool parse_naa(const std::string &hex, std::array<std::uint8_t, 8> &out) {
  if (hex.size() != 16) return false;
  for (std::size_t i = 0; i < 16; ++i) {
    const char c = hex[i];
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) return false;
    if (i % 2 == 0) out[i / 2] = static_cast<std::uint8_t>(v << 4);
    else out[i / 2] = static_cast<std::uint8_t>(out[i / 2] | v);
  }
  return true;
}

}  // namespace tcmu
