// Record lines of the user-backstore handler.
#include "tcmu/record.h"

namespace tcmu {
namespace {

void hex_to(std::string &s, std::span<const std::uint8_t> b) {
  static constexpr char digits[] = "0123456789abcdef";
  for (const std::uint8_t c : b) {
    s += digits[c >> 4];
    s += digits[c & 0x0F];
  }
}

}  // namespace

std::string record_line(const command &cmd, xfer dir, const reply &rep) {
  std::string s = "cdb=";
  hex_to(s, cmd.cdb);
  s += " status=";
  hex_to(s, std::span<const std::uint8_t>(&rep.status, 1));
  s += " len=" + std::to_string(dir == xfer::to_device ? cmd.data.size() : rep.data_len);
  if (rep.status == 0x02) {
    s += " sense=";
    hex_to(s, rep.sense);
  }
  if (dir == xfer::to_device) {
    s += " data=";
    hex_to(s, cmd.data);
  }
  return s + "\n";
}

}  // namespace tcmu
