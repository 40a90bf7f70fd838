// INQUIRY and REQUEST SENSE: how the simulated unit identifies itself, the
// one answer both front doors give (the preloaded sg door and the
// user-backstore handler behind a real kernel).
#include <algorithm>
#include <vector>

#include "common/bytes.h"
#include "model/sense.h"
#include "model/target.h"

namespace sim {

namespace {

constexpr std::uint8_t kEnclosureServices = 0x0D;  // peripheral device type
constexpr std::size_t kCdbFlags = 1;               // bit 0: EVPD, bit 1: CMDDT
constexpr std::size_t kCdbPage = 2;
constexpr std::size_t kCdbAllocation = 3;          // 16 bits
constexpr std::uint8_t kEvpd = 0x01;
constexpr std::uint8_t kCmddt = 0x02;

// Standard INQUIRY data, 36 bytes.
constexpr std::size_t kStandardLength = 36;
constexpr char kVendor[] = "SIMUL   ";
constexpr char kProduct[] = "SES EXPANDER    ";
constexpr char kRevision[] = "0103";

constexpr std::uint8_t kVpdPages[] = {0x00, 0x80, 0x83};

void put_text(std::vector<std::uint8_t> &d, std::size_t off, const char *text, std::size_t n) {
  std::copy_n(text, n, d.begin() + static_cast<long>(off));
}

std::vector<std::uint8_t> standard_data() {
  std::vector<std::uint8_t> d(kStandardLength, 0);
  d[0] = kEnclosureServices;
  d[2] = 0x06;                   // SPC-4
  d[3] = 0x02;                   // response data format
  d[4] = kStandardLength - 5;    // additional length
  d[6] = 0x40;                   // EncServ
  d[7] = 0x02;                   // CmdQue
  put_text(d, 8, kVendor, 8);
  put_text(d, 16, kProduct, 16);
  put_text(d, 32, kRevision, 4);
  return d;
}

// A VPD page: device type, page code, 16-bit page length, body.
std::vector<std::uint8_t> vpd(std::uint8_t code, std::span<const std::uint8_t> body) {
  std::vector<std::uint8_t> d(4 + body.size(), 0);
  d[0] = kEnclosureServices;
  d[1] = code;
  bytes::put_be16(d, 2, static_cast<std::uint16_t>(body.size()));
  std::copy(body.begin(), body.end(), d.begin() + 4);
  return d;
}

bool vpd_page(std::uint8_t code, const config &unit, std::vector<std::uint8_t> &d) {
  if (code == 0x00) {
    d = vpd(code, kVpdPages);
    return true;
  }
  if (code == 0x80) {
    const std::vector<std::uint8_t> serial(unit.serial.begin(), unit.serial.end());
    d = vpd(code, serial);
    return true;
  }
  if (code == 0x83) {
    // One designator: binary code set, logical unit, NAA, 8 bytes.
    std::vector<std::uint8_t> body{0x01, 0x03, 0x00, 0x08};
    body.insert(body.end(), unit.naa.begin(), unit.naa.end());
    d = vpd(code, body);
    return true;
  }
  return false;
}

// Delivers d cut to the allocation length and to the room the request has.
outcome deliver(const request &req, const std::vector<std::uint8_t> &d, std::size_t allocation) {
  const std::size_t want = std::min(d.size(), allocation);
  outcome o;
  if (want > 0 && req.dir != direction::from_device) {
    o.host_status = kHostError;
    return o;
  }
  o.data_len = std::min(want, req.data.size());
  std::copy_n(d.begin(), static_cast<long>(o.data_len), req.data.begin());
  return o;
}

}  // namespace

outcome inquiry(const request &req, const config &unit) {
  if (req.cdb.size() != 6) return invalid_field(true, 0);
  const std::uint8_t flags = req.cdb[kCdbFlags];
  const std::uint8_t page = req.cdb[kCdbPage];
  if ((flags & kCmddt) != 0) return invalid_field(true, kCdbFlags);
  std::vector<std::uint8_t> d;
  if ((flags & kEvpd) != 0) {
    if (!vpd_page(page, unit, d)) return invalid_field(true, kCdbPage);
  } else {
    if (page != 0) return invalid_field(true, kCdbPage);
    d = standard_data();
  }
  return deliver(req, d, bytes::be16(req.cdb, kCdbAllocation));
}

// Nothing is ever pending: NO SENSE, in fixed format.
outcome request_sense(const request &req) {
  if (req.cdb.size() != 6) return invalid_field(true, 0);
  const outcome none = check_condition(0, 0, 0);
  const std::vector<std::uint8_t> d(none.sense.begin(), none.sense.end());
  return deliver(req, d, req.cdb[4]);
}

}  // namespace sim
