// The simulated expander's built-in log and SES status pages.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// Fills out with the built-in page for page_code (0x80, 0x02, 0x0A, 0xF3) as
// the expander would return it, or, for 0xF4, with NV crash log chunk number
// chunk (0-based). Returns false when there is no such built-in page or chunk.
bool default_log_page(int page_code, unsigned chunk, std::vector<std::uint8_t> &out);

}  // namespace sim
