// INQUIRY answers of the simulated enclosure services target.
#include "tcmu/inquiry.h"

#include "common/bytes.h"

#include <algorithm>

namespace tcmu {
namespace {

constexpr std::uint8_t device_type = 0x0D;  // enclosure services device
constexpr std::size_t cdb_flags = 1;        // bit 0: EVPD, bit 1: CMDDT
constexpr std::size_t cdb_page = 2;
constexpr std::size_t cdb_alloc = 3;        // allocation length, 16 bits
constexpr std::uint8_t flag_evpd = 0x01;
constexpr std::uint8_t flag_cmddt = 0x02;

// Standard INQUIRY data, 36 bytes.
constexpr std::size_t std_len = 36;
constexpr std::size_t std_version = 2;       // 0x06: SPC-4
constexpr std::size_t std_format = 3;        // response data format 2
constexpr std::size_t std_additional = 4;    // bytes after byte 4
constexpr std::size_t std_encserv = 6;       // bit 6: enclosure services
constexpr std::size_t std_cmdque = 7;        // bit 1: command queuing
constexpr std::size_t std_vendor = 8;        // 8 ASCII bytes
constexpr std::size_t std_product = 16;      // 16 ASCII bytes
constexpr std::size_t std_revision = 32;     // 4 ASCII bytes
constexpr char vendor[] = "SIMUL   ";
constexpr char product[] = "SES EXPANDER    ";
constexpr char revision[] = "0103";

constexpr std::array<std::uint8_t, 3> vpd_pages{0x00, 0x80, 0x83};

void put_text(std::vector<std::uint8_t> &out, std::size_t off, const char *text, std::size_t n) {
  for (std::size_t i = 0; i < n && off + i < out.size(); ++i)
    out[off + i] = static_cast<std::uint8_t>(text[i]);
}

void standard_data(std::vector<std::uint8_t> &out) {
  out.assign(std_len, 0);
  out[0] = device_type;
  out[std_version] = 0x06;
  out[std_format] = 0x02;
  out[std_additional] = std_len - 5;
  out[std_encserv] = 0x40;
  out[std_cmdque] = 0x02;
  put_text(out, std_vendor, vendor, 8);
  put_text(out, std_product, product, 16);
  put_text(out, std_revision, revision, 4);
}

// A VPD page: device type, page code, 16-bit page length, body.
void vpd_page(std::uint8_t code, std::span<const std::uint8_t> body, std::vector<std::uint8_t> &out) {
  out.assign(4 + body.size(), 0);
  out[0] = device_type;
  out[1] = code;
  bytes::put_be16(out, 2, static_cast<std::uint16_t>(body.size()));
  std::copy(body.begin(), body.end(), out.begin() + 4);
}

}  // namespace

std::array<std::uint8_t, 18> fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::array<std::uint8_t, 18> s{};
  s[0] = 0x70;  // current error, fixed format
  s[2] = key & 0x0F;
  s[7] = 10;  // additional sense length
  s[12] = asc;
  s[13] = ascq;
  return s;
}

bool inquiry_answer(std::span<const std::uint8_t> cdb, const identity &id,
                    std::vector<std::uint8_t> &out) {
  const std::uint8_t flags = bytes::u8(cdb, cdb_flags);
  const std::uint8_t page = bytes::u8(cdb, cdb_page);
  if (flags & flag_cmddt) return false;
  if (!(flags & flag_evpd)) {
    if (page != 0) return false;
    standard_data(out);
    return true;
  }
  if (page == 0x00) {
    vpd_page(page, vpd_pages, out);
    return true;
  }
  if (page == 0x80) {
    std::vector<std::uint8_t> serial(id.serial.begin(), id.serial.end());
    vpd_page(page, serial, out);
    return true;
  }
  if (page == 0x83) {
    // One designator: binary code set, logical unit, NAA, 8 bytes.
    std::vector<std::uint8_t> body{0x01, 0x03, 0x00, 0x08};
    body.insert(body.end(), id.naa.begin(), id.naa.end());
    vpd_page(page, body, out);
    return true;
  }
  return false;
}

int inquiry_fill(std::span<const std::uint8_t> cdb, const identity &id, std::span<std::uint8_t> room) {
  std::vector<std::uint8_t> page;
  if (!inquiry_answer(cdb, id, page)) return -1;
  const std::size_t alloc = bytes::be16(cdb, cdb_alloc);
  const std::size_t n = std::min({page.size(), alloc, room.size()});
  std::copy_n(page.begin(), n, room.begin());
  return static_cast<int>(n);
}

bool parse_naa(const std::string &hex, std::array<std::uint8_t, 8> &out) {
  if (hex.size() != 16) return false;
  for (std::size_t i = 0; i < 16; ++i) {
    const char c = hex[i];
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) return false;
    if (i % 2 == 0) out[i / 2] = static_cast<std::uint8_t>(v << 4);
    else out[i / 2] = static_cast<std::uint8_t>(out[i / 2] | v);
  }
  return true;
}

}  // namespace tcmu
