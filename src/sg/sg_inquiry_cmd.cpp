#include <fcntl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <array>

#include "common/bytes.h"
#include "sg/sg.h"
#include "sg/sg_exchange.h"

namespace {
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kEnableVpd = 0x01;
}  // namespace

// INQUIRY for the standard data (vpd_page < 0) or a vital product data page,
// asking for as many bytes as the buffer holds (at most 65535).
int sg_inquiry_cmd(const char *dev, int vpd_page, std::span<std::uint8_t> buf) {
  const std::size_t alloc = std::min<std::size_t>(buf.size(), kMaxAllocationLength);
  std::array<std::uint8_t, kCdbSize> cdb{};
  cdb[0] = kInquiry;
  if (vpd_page >= 0) {
    cdb[1] = kEnableVpd;
    cdb[2] = static_cast<std::uint8_t>(vpd_page & 0xFF);
  }
  bytes::put_be16(cdb, 3, static_cast<std::uint16_t>(alloc));
  return sg_exchange({dev, O_RDONLY, cdb, SG_DXFER_FROM_DEV, buf.data(),
                      static_cast<unsigned>(alloc), false});
}
