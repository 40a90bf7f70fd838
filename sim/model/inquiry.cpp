// INQUIRY: the simulated node identifies itself as an enclosure services device.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "model/sense.h"
#include "model/target.h"

namespace sim {

namespace {

constexpr std::uint8_t kEnclosureServices = 0x0D;  // peripheral device type
constexpr std::uint8_t kEvpd = 0x01;

std::vector<std::uint8_t> standard_inquiry() {
  std::vector<std::uint8_t> d(36, ' ');
  d[0] = kEnclosureServices;
  d[1] = 0x00;
  d[2] = 0x06;  // SPC-4
  d[3] = 0x02;  // response data format
  d[4] = 31;    // additional length
  d[5] = d[6] = d[7] = 0;
  std::memcpy(&d[8], "SIM     ", 8);
  std::memcpy(&d[16], "EXPANDER SES    ", 16);
  std::memcpy(&d[32], "0103", 4);
  return d;
}

bool vpd_page(std::uint8_t code, std::vector<std::uint8_t> &d) {
  if (code == 0x00) {
    d = {kEnclosureServices, 0x00, 0x00, 0x02, 0x00, 0x80};
    return true;
  }
  if (code == 0x80) {
    d = {kEnclosureServices, 0x80, 0x00, 0x0A};
    for (char c : std::string("SIM0000001")) d.push_back(static_cast<std::uint8_t>(c));
    return true;
  }
  return false;
}

}  // namespace

outcome inquiry(const request &req) {
  if (req.cdb.size() != 6) return invalid_field(true, 0);
  std::vector<std::uint8_t> d;
  if ((req.cdb[1] & kEvpd) != 0) {
    if (!vpd_page(req.cdb[2], d)) return invalid_field(true, 2);
  } else {
    if (req.cdb[2] != 0) return invalid_field(true, 2);
    d = standard_inquiry();
  }
  const std::size_t want = std::min<std::size_t>(d.size(), bytes::be16(req.cdb, 3));
  outcome o;
  if (want > 0 && req.dir != direction::from_device) {
    o.host_status = kHostError;
    return o;
  }
  o.data_len = std::min(want, req.data.size());
  std::copy_n(d.begin(), static_cast<long>(o.data_len), req.data.begin());
  return o;
}

}  // namespace sim
