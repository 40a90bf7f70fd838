#include <fcntl.h>
#include <scsi/sg.h>

#include <array>

#include "common/bytes.h"
#include "sg/sg.h"
#include "sg/sg_exchange.h"

namespace {
constexpr std::uint8_t kSendDiagnostic = 0x1D;
constexpr std::uint8_t kPageFormat = 0x10;
constexpr int kMaxParameterListLength = 0xFFFF;  // 16-bit field of the command block
}  // namespace

// SEND DIAGNOSTIC with PF set; the parameter list length travels in bytes 3-4.
int sg_send_cmd(const char *dev, const std::uint8_t *param, int len) {
  // A length the command block cannot carry, or a missing list, is never sent.
  if (len < 0 || len > kMaxParameterListLength || (len > 0 && param == nullptr)) return -1;
  std::array<std::uint8_t, kCdbSize> cdb{};
  cdb[0] = kSendDiagnostic;
  cdb[1] = kPageFormat;
  bytes::put_be16(cdb, 3, static_cast<std::uint16_t>(len));
  // The driver only reads a to-device buffer.
  return sg_exchange({dev, O_RDWR, cdb, SG_DXFER_TO_DEV, const_cast<std::uint8_t *>(param),
                      static_cast<unsigned>(len), true});
}
