#include <fcntl.h>
#include <scsi/sg.h>

#include <array>

#include "common/bytes.h"
#include "sg/sg.h"
#include "sg/sg_exchange.h"

namespace {
constexpr std::uint8_t kReceiveDiagnosticResults = 0x1C;
constexpr std::uint8_t kPageCodeValid = 0x01;
}  // namespace

// RECEIVE DIAGNOSTIC RESULTS with PCV set, asking for kReceiveSize bytes.
int sg_query_cmd(const char *dev, int page_code, std::span<std::uint8_t, kReceiveSize> buf) {
  std::array<std::uint8_t, kCdbSize> cdb{};
  cdb[0] = kReceiveDiagnosticResults;
  cdb[1] = kPageCodeValid;
  cdb[2] = static_cast<std::uint8_t>(page_code & 0xFF);
  bytes::put_be16(cdb, 3, static_cast<std::uint16_t>(kReceiveSize));
  return sg_exchange({dev, O_RDONLY, cdb, SG_DXFER_FROM_DEV, buf.data(),
                      static_cast<unsigned>(kReceiveSize), false});
}
