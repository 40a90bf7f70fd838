#include <fcntl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <array>

#include "common/bytes.h"
#include "sg/sg.h"
#include "sg/sg_exchange.h"

namespace {
constexpr std::uint8_t kReceiveDiagnosticResults = 0x1C;
constexpr std::uint8_t kPageCodeValid = 0x01;
}  // namespace

// RECEIVE DIAGNOSTIC RESULTS with PCV set, asking for as many bytes as the
// buffer holds (at most the 16-bit allocation length field's 65535).
int sg_receive_page(const char *dev, int page_code, std::span<std::uint8_t> buf) {
  const std::size_t alloc = std::min<std::size_t>(buf.size(), kMaxAllocationLength);
  std::array<std::uint8_t, kCdbSize> cdb{};
  cdb[0] = kReceiveDiagnosticResults;
  cdb[1] = kPageCodeValid;
  cdb[2] = static_cast<std::uint8_t>(page_code & 0xFF);
  bytes::put_be16(cdb, 3, static_cast<std::uint16_t>(alloc));
  return sg_exchange({dev, O_RDONLY, cdb, SG_DXFER_FROM_DEV, buf.data(),
                      static_cast<unsigned>(alloc), false});
}
