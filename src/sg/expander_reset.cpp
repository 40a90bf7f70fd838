#include <array>
#include <cstdlib>

#include "common/guards.h"
#include "common/page_codes.h"
#include "sg/sg.h"

namespace {
// String Out page 0x04, page length 2, reset command 0x02 with argument 0x01.
constexpr std::array<std::uint8_t, 6> kResetList = {kPageStringOut, 0x00, 0x00, 0x02, 0x02, 0x01};
}  // namespace

// Sends the reset, then reads the firmware status page twice; the results of
// those reads never change the outcome.
int expander_reset(const char *dev) {
  if (sg_send_cmd(dev, kResetList.data(), static_cast<int>(kResetList.size())) != 0) return -1;
  guard::heap<std::uint8_t> page(static_cast<std::uint8_t *>(std::malloc(kReceiveSize)));
  if (page.value == nullptr) return -1;
  std::span<std::uint8_t, kReceiveSize> buf(page.value, kReceiveSize);
  (void)sg_query_cmd(dev, kPageFirmwareStatus, buf);
  (void)sg_query_cmd(dev, kPageFirmwareStatus, buf);
  return 0;
}
