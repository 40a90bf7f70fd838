// The pages the simulated target serves to RECEIVE DIAGNOSTIC RESULTS.
//
// Log and SES status pages come from a directory of raw page files when one
// is configured (page_80.bin, page_02.bin ..., lower-case hex; page 0xF4 as
// chunk files page_f4_0.bin, page_f4_1.bin ...), otherwise from the built-in
// set. The firmware status page 0x82 is built from the expander state unless
// the directory holds page_82.bin. Page 0x00 lists the pages served, unless
// the directory holds page_00.bin (a capture's own). Other files in the
// directory (a capture's manifest and INQUIRY data) are not served.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/state.h"

namespace sim {

inline constexpr int kSupportedPagesPage = 0x00;
inline constexpr int kStringOutPage = 0x04;
inline constexpr int kFirmwareStatusPage = 0x82;
inline constexpr int kActivationPage = 0x91;
inline constexpr int kNvLogPage = 0xF4;

// Number of 0xF4 chunks available (0: the page is not served).
unsigned nv_chunk_count(const std::string &pages_dir);

// The page for code as served now; chunk picks the 0xF4 chunk. False when the
// target does not serve the page.
bool receive_page(const std::string &pages_dir, const expander_state &s, int code, unsigned chunk,
                  std::vector<std::uint8_t> &out);

// Firmware status page 0x82 built from the state: byte 4 active image + 5,
// bytes 6-8 its version, byte 16 the other image + 5, bytes 18-20 its
// version, byte 32 active data + 1, bytes 33-35 its version.
std::vector<std::uint8_t> firmware_status_page(const expander_state &s);

}  // namespace sim
