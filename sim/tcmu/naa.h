// The NAA designator a handler is started with (--naa HEX16).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tcmu {

// Parses 16 hex digits into an NAA designator; false on anything else.
bool parse_naa(const std::string &hex, std::array<std::uint8_t, 8> &out);

}  // namespace tcmu
