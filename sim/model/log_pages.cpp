// INTERIM: no built-in log pages yet; replaced by the real page set.
#include "model/log_pages.h"

namespace sim {
bool default_log_page(int, unsigned, std::vector<std::uint8_t> &) { return false; }
}  // namespace sim
