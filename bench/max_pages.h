// The largest page set the log command can be served: every page as long as
// one receive (2048 bytes) and packed with what makes the most log entries.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace benchpages {

using bytevec = std::vector<std::uint8_t>;

// Time stamps of the RAM log records: present-day ones, or ones near the top
// of the 64-bit range (the longest calendar computation).
enum class stamps { present_day, far_future };

// Pages 0x80, 0x02, 0x0A and 0xF3 as the expander returns them.
std::map<int, bytevec> max_page_set(stamps when);

// Page 0x80 alone, with the given time stamps.
bytevec max_ram_log_page(stamps when);

}  // namespace benchpages
