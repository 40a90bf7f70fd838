// The answers of the enclosure services target to INQUIRY: the standard data
// (peripheral device type 0x0D, EncServ set) and the vital product data pages
// the midlayer asks for when it scans the unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tcmu {

// What tells one simulated expander from another.
struct identity {
  std::string serial;                 // unit serial number (VPD 0x80), ASCII
  std::array<std::uint8_t, 8> naa{};  // NAA designator (VPD 0x83), binary
};

// Fixed-format sense data for a CHECK CONDITION.
std::array<std::uint8_t, 18> fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

// Builds the answer to the INQUIRY cdb into out (the whole page, not yet cut
// to the allocation length). False when the cdb asks for something this
// target does not have: the caller answers ILLEGAL REQUEST, INVALID FIELD IN
// CDB.
bool inquiry_answer(std::span<const std::uint8_t> cdb, const identity &id,
                    std::vector<std::uint8_t> &out);

// Writes the answer into room, cut to the cdb's allocation length and to the
// room itself; returns the bytes written, or -1 as inquiry_answer's false.
int inquiry_fill(std::span<const std::uint8_t> cdb, const identity &id, std::span<std::uint8_t> room);

// Parses 16 hex digits into an NAA designator; false on anything else.
bool parse_naa(const std::string &hex, std::array<std::uint8_t, 8> &out);

}  // namespace tcmu
