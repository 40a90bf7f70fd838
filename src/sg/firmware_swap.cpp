#include <array>

#include "common/page_codes.h"
#include "sg/sg.h"

namespace {
// Page 0x91 parameter lists, sent in this order: select the other image
// (page length 2, data 0x01 0x00), then commit (page length 1, data 0x00).
constexpr std::array<std::uint8_t, 6> kSwapSelect = {kPageActivate, 0x00, 0x00, 0x02, 0x01, 0x00};
constexpr std::array<std::uint8_t, 5> kSwapCommit = {kPageActivate, 0x00, 0x00, 0x01, 0x00};
}  // namespace

// Swaps the active firmware image; the second list goes out only after the
// first was accepted.
int firmware_swap(const char *dev) {
  if (sg_send_cmd(dev, kSwapSelect.data(), static_cast<int>(kSwapSelect.size())) != 0) return -1;
  if (sg_send_cmd(dev, kSwapCommit.data(), static_cast<int>(kSwapCommit.size())) != 0) return -1;
  return 0;
}
