// The simulated expander's built-in log pages: a RAM event log (0x80), the
// Enclosure Status page (0x02), the Additional Element Status page (0x0A), the
// SSSF status page (0xF3) and an NV crash log (0xF4) served in chunks.
//
// Every page is built from the tables below, so what the expander reports can
// be read here row by row. Multi-byte fields of the diagnostic pages are
// big-endian; the NV crash log image is little-endian, as the expander's
// firmware writes it.
#include "model/log_pages.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "common/page_bytes.h"

namespace sim {
namespace {

using page_bytes::bytevec;
using page_bytes::put_be16;
using page_bytes::put_be32;
using page_bytes::put_be64;
using page_bytes::put_le32;
using page_bytes::seal_page_length;

// ---------------------------------------------------------------------------
// Event records (RAM event log and the crash log's flash event log).

// Microseconds since the first instant of year 0 (proleptic Gregorian).
constexpr std::uint64_t stamp(int y, int mo, int d, int h, int mi, int s, int us) {
  // Days since 1970-01-01 of a civil date, then moved to year 0.
  y -= mo <= 2 ? 1 : 0;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468 + 719528;
  return ((static_cast<std::uint64_t>(days) * 86400 + h * 3600 + mi * 60 + s) * 1000000) + us;
}
static_assert(stamp(2026, 12, 8, 0, 0, 0, 0) == 63963907200000000ull);
static_assert(stamp(0, 1, 1, 0, 0, 0, 0) == 0);

struct event_row {
  std::uint32_t severity_word;  // low 16 bits: level
  std::uint64_t time_us;
  std::int32_t number;
  std::uint32_t event_code;  // module << 16 | code
  std::uint32_t param1, param2, param3;
};

constexpr event_row kRamEvents[] = {
    {4, stamp(2026, 12, 7, 22, 14, 3, 120456), 1, 0x004F0002, 0x00000000, 0x00000024, 0x00000000},
    {4, stamp(2026, 12, 7, 22, 14, 3, 987001), 2, 0x00350006, 0x00000008, 0x0000000B, 0x00000000},
    {3, stamp(2026, 12, 7, 22, 15, 40, 5), 3, 0x00350008, 0x00000011, 0x00000000, 0x00000001},
    {2, stamp(2026, 12, 7, 23, 1, 2, 300400), 4, 0x001A001C, 0x00000011, 0x0000A5A5, 0x00000002},
    {5, stamp(2026, 12, 7, 23, 1, 2, 300999), 5, 0x001D000D, 0x00000012, 0x00000000, 0x00000000},
    {0x00050002, stamp(2026, 12, 7, 23, 59, 59, 999999), 6, 0x001E000A, 0x00000003, 0x0001F000,
     0x00000000},
    {3, stamp(2026, 12, 8, 0, 0, 0, 0), 7, 0x002A0004, 0x00000001, 0x00000002, 0x00000003},
    {2, stamp(2026, 12, 8, 0, 12, 9, 1000), 8, 0x00110001, 0xDEADBEEF, 0x00000000, 0xFFFFFFFF},
    {0x00050007, stamp(2026, 12, 8, 1, 30, 0, 42), 9, 0x00150005, 0x000000F3, 0x00000000,
     0x00000000},
    {1, stamp(2026, 12, 8, 2, 2, 2, 202020), 10, 0x00690005, 0x00000000, 0x00001388, 0x00000000},
    {6, stamp(2026, 12, 8, 3, 0, 0, 1), 11, 0x002C000E, 0x00000015, 0x00000000, 0x00000000},
    {4, stamp(2026, 12, 8, 3, 0, 1, 500000), 1234, 0x00360007, 0x00000000, 0x00000000, 0x00000000},
    {0, 0, -1, 0x00000000, 0x00000000, 0x00000000, 0x00000000},
};

constexpr event_row kFlashEvents[] = {
    {4, stamp(2026, 11, 30, 8, 0, 0, 0), 201, 0x00100001, 0x9FC01A2C, 0x00000000, 0x00000000},
    {1, stamp(2026, 11, 30, 8, 0, 0, 250), 202, 0x00690005, 0x00000000, 0x00001388, 0x00000001},
    {2, stamp(2026, 11, 30, 8, 0, 1, 7), 203, 0x00100007, 0x00000400, 0x00000010, 0x00000000},
    {3, stamp(2026, 11, 30, 8, 0, 1, 999), 204, 0x001F0002, 0x00000000, 0x00000000, 0x00000000},
    {4, stamp(2026, 11, 30, 8, 0, 2, 1), 205, 0x00AB0001, 0x00000001, 0x00000000, 0x00000000},
};

constexpr std::size_t kRecordSize = 32;

// The eight words of a record in their order on the page.
std::array<std::uint32_t, 8> record_words(const event_row &e) {
  return {e.severity_word,
          static_cast<std::uint32_t>(e.time_us >> 32),
          static_cast<std::uint32_t>(e.time_us),
          static_cast<std::uint32_t>(e.number),
          e.event_code,
          e.param1,
          e.param2,
          e.param3};
}

// Page 0x80: a 32-byte header (page_length, record_bytes at 18, record_sum at
// 20), then the records with big-endian words.
bytevec ram_log_page() {
  constexpr std::size_t kHeader = 32;
  const std::size_t n = std::size(kRamEvents);
  bytevec page(kHeader + kRecordSize * n);
  page[0] = 0x80;
  seal_page_length(page);
  put_be16(page, 18, static_cast<std::uint32_t>(kRecordSize * n));
  for (std::size_t r = 0; r < n; ++r) {
    const auto words = record_words(kRamEvents[r]);
    for (std::size_t w = 0; w < words.size(); ++w) put_be32(page, kHeader + kRecordSize * r + 4 * w, words[w]);
  }
  std::uint32_t sum = 0;
  for (std::size_t i = kHeader; i < page.size(); ++i) sum += page[i];
  put_be32(page, 20, sum);
  return page;
}

// ---------------------------------------------------------------------------
// Enclosure Status page (0x02): the overall element, then 24 array device
// slots, each as its four status bytes.

using status_element = std::array<std::uint8_t, 4>;

constexpr status_element kOverallElement = {0x01, 0x00, 0x00, 0x00};  // OK

constexpr status_element kSlots[] = {
    {0x01, 0x80, 0x00, 0x00},  // 0: OK, device present
    {0x01, 0x80, 0x00, 0x00},  // 1
    {0x01, 0x80, 0x02, 0x00},  // 2: OK, identify on
    {0x43, 0x80, 0x00, 0x00},  // 3: predicted failure, noncritical
    {0x02, 0x0C, 0x00, 0x60},  // 4: critical, in crit and failed array, fault sensed/requested
    {0x05, 0x00, 0x08, 0x00},  // 5: not installed, ready to insert
    {0x05, 0x00, 0x00, 0x00},  // 6: not installed
    {0x01, 0x20, 0x00, 0x00},  // 7: hot spare
    {0x03, 0x82, 0x00, 0x00},  // 8: noncritical, rebuilding
    {0x01, 0x80, 0x40, 0x00},  // 9: do not remove
    {0x06, 0x00, 0x00, 0x10},  // 10: unknown, device off
    {0x31, 0x80, 0x00, 0x00},  // 11: disabled, swapped
    {0x01, 0x80, 0x00, 0x0F},  // 12: bypassed on both ports
    {0x07, 0x00, 0x00, 0x00},  // 13: not available
    {0x05, 0x00, 0x04, 0x00},  // 14: not installed, prepared for removal (RMV)
    {0x01, 0x80, 0x01, 0x00},  // 15: report
    {0x04, 0x01, 0x00, 0x40},  // 16: unrecoverable, R/R abort, fault sensed
    {0x08, 0x00, 0x00, 0x00},  // 17: no access allowed
    {0x0B, 0x00, 0x00, 0x00},  // 18: a reserved status code
    {0x00, 0x00, 0x00, 0x00},  // 19: unsupported
    {0x01, 0xD0, 0x30, 0x80},  // 20: OK, reserved device, cons check, enclosure bypass A/B
    {0x01, 0x80, 0x80, 0x00},  // 21: app client bypass A
    {0x05, 0x00, 0x00, 0x00},  // 22: not installed
    {0x01, 0x80, 0x00, 0x00},  // 23
};
static_assert(std::size(kSlots) == 24);

bytevec enclosure_status_page() {
  bytevec page{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};  // generation code 3
  page.insert(page.end(), kOverallElement.begin(), kOverallElement.end());
  for (const status_element &slot : kSlots) page.insert(page.end(), slot.begin(), slot.end());
  seal_page_length(page);
  return page;
}

// ---------------------------------------------------------------------------
// Additional Element Status page (0x0A): one descriptor per element, SAS
// transport, with and without element index, one flagged invalid.

struct phy_row {
  std::uint8_t device_type;   // 0 none, 1 end device, 2 expander
  std::uint8_t initiator;     // byte 2: SSP 0x08, STP 0x04, SMP 0x02
  std::uint8_t target;        // byte 3: SATA port selector 0x80, SSP 0x08, STP 0x04,
                              //         SMP 0x02, SATA device 0x01
  std::uint64_t attached_address;
  std::uint64_t sas_address;
  std::uint8_t phy_id;
};

struct descriptor_row {
  bool eip;
  bool invalid;
  std::uint8_t eiioe;
  std::uint8_t element_index;
  std::uint8_t slot;
  std::uint8_t descriptor_type;
  bool not_all_phys;
  std::span<const phy_row> phys;
};

constexpr std::uint64_t kExpanderAddress = 0x5000A1B2C3D4E5FFull;

constexpr phy_row kSasDrive0[] = {{1, 0x00, 0x08, kExpanderAddress, 0x5000A1B2C3D40001ull, 0}};
constexpr phy_row kSataDrive1[] = {{1, 0x00, 0x01, kExpanderAddress, 0x5000A1B2C3D4E501ull, 1}};
constexpr phy_row kEmptySlot2[] = {{0, 0x00, 0x00, 0, 0, 2}};
constexpr phy_row kFiller[] = {{0, 0x00, 0x00, 0, 0, 0}};
constexpr phy_row kSasDrive4[] = {{1, 0x00, 0x0C, kExpanderAddress, 0x5000A1B2C3D40004ull, 4}};
constexpr phy_row kHostWide[] = {
    {2, 0x0A, 0x02, 0x5000A1B2C3D4F000ull, kExpanderAddress, 24},
    {2, 0x0A, 0x02, 0x5000A1B2C3D4F000ull, kExpanderAddress, 25},
};
constexpr phy_row kOwnAddressOnly[] = {{0, 0x00, 0x00, 0, kExpanderAddress, 6}};
constexpr phy_row kSataSelector[] = {{0, 0x00, 0x80, 0, 0, 7}};

constexpr descriptor_row kDescriptors[] = {
    {true, false, 0, 0, 0, 0, false, kSasDrive0},
    {true, false, 1, 1, 1, 0, false, kSataDrive1},
    {true, false, 0, 2, 2, 0, false, kEmptySlot2},
    {true, true, 0, 3, 3, 0, false, kFiller},  // flagged invalid
    {false, false, 0, 0, 0, 0, false, kSasDrive4},
    {true, false, 2, 24, 24, 0, true, kHostWide},
    {true, false, 0, 6, 6, 0, false, kOwnAddressOnly},
    {false, false, 0, 0, 0, 0, false, kSataSelector},
    {true, false, 0, 8, 8, 1, false, kFiller},  // a descriptor type not decoded
};

constexpr std::size_t kPhySize = 28;

bytevec phy_descriptor(const phy_row &phy) {
  bytevec d(kPhySize);
  d[0] = static_cast<std::uint8_t>(phy.device_type << 4);
  d[2] = phy.initiator;
  d[3] = phy.target;
  put_be64(d, 4, phy.attached_address);
  put_be64(d, 12, phy.sas_address);
  d[20] = phy.phy_id;
  return d;
}

bytevec additional_element_descriptor(const descriptor_row &row) {
  constexpr std::uint8_t kSasProtocol = 0x06;
  bytevec d{static_cast<std::uint8_t>((row.invalid ? 0x80 : 0) | (row.eip ? 0x10 : 0) | kSasProtocol),
            0};
  if (row.eip) d.insert(d.end(), {row.eiioe, row.element_index});
  const std::uint8_t type_bits =
      static_cast<std::uint8_t>((row.descriptor_type << 6) | (row.not_all_phys ? 1 : 0));
  d.insert(d.end(), {static_cast<std::uint8_t>(row.phys.size()), type_bits});
  if (row.eip) d.insert(d.end(), {0x00, row.slot});
  for (const phy_row &phy : row.phys) {
    const bytevec p = phy_descriptor(phy);
    d.insert(d.end(), p.begin(), p.end());
  }
  d[1] = static_cast<std::uint8_t>(d.size() - 2);
  return d;
}

bytevec additional_element_status_page() {
  bytevec page{0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};  // generation code 3
  for (const descriptor_row &row : kDescriptors) {
    const bytevec d = additional_element_descriptor(row);
    page.insert(page.end(), d.begin(), d.end());
  }
  seal_page_length(page);
  return page;
}

// ---------------------------------------------------------------------------
// SSSF status page (0xF3): one 8-byte record per phy.

struct sssf_row {
  std::uint8_t phy_id;
  std::uint8_t sxl_rate, sspl_rate;
  std::uint8_t ecc_test_state, work_mode;
  std::uint8_t max_frame_count;
  std::uint8_t err_bits;  // bit 0 emip, bit 1 sxl, bit 2 sssf
  std::uint8_t splid_mode;
};

// Phys 0-23 face the drive slots, 24-31 the host wide port, 32-35 the
// expansion port; a few report error states.
sssf_row sssf_phy(std::uint8_t phy) {
  if (phy >= 32) return {phy, 12, 12, 0, 2, 64, 0, 1};
  if (phy >= 24) return {phy, 12, 11, 1, 3, 128, 0, 0};
  switch (phy) {
    case 5:
    case 6:
    case 22: return {phy, 0, 0, 0, 0, 0, 0, 0};  // empty slots
    case 4: return {phy, 10, 10, 4, 1, 32, 0x03, 0};
    case 16: return {phy, 9, 9, 7, 1, 32, 0x04, 1};
    default: return {phy, static_cast<std::uint8_t>(phy % 3 == 0 ? 11 : 10), 10, 0, 1, 32, 0, 0};
  }
}

constexpr std::uint8_t kSssfPhys = 36;

bytevec sssf_status_page() {
  bytevec page{0xF3, 0x00, 0x00, 0x00};
  for (std::uint8_t phy = 0; phy < kSssfPhys; ++phy) {
    const sssf_row r = sssf_phy(phy);
    // Bit 7 of byte 0 and bytes 6-7 carry state the page readers ignore.
    page.insert(page.end(),
                {static_cast<std::uint8_t>(r.phy_id | (phy == 33 ? 0x80 : 0)),
                 static_cast<std::uint8_t>((r.sxl_rate << 4) | r.sspl_rate),
                 static_cast<std::uint8_t>(0x40 | (r.ecc_test_state << 3) | r.work_mode),
                 r.max_frame_count, static_cast<std::uint8_t>(0x08 | r.err_bits),
                 static_cast<std::uint8_t>(0x02 | r.splid_mode), 0x5A, phy});
  }
  seal_page_length(page);
  return page;
}

// ---------------------------------------------------------------------------
// NV crash log (0xF4): a crash dump image of little-endian words, served in
// chunks of kChunkData bytes behind a big-endian chunk header.

constexpr std::size_t kNvHeader = 120;

// 32 general-purpose registers from EPC, then 55 coprocessor-0 registers from
// Index.
constexpr std::uint32_t kRegisters[] = {
    0x9FC01A2C, 0x00000000, 0x00000001, 0x80042F10, 0x00000000, 0x8009A3C4, 0x00000010, 0x00000004,
    0xFFFFFFFF, 0x80100000, 0x00000020, 0x0000003F, 0x8007E2A8, 0x00000000, 0x00000000, 0x00000001,
    0x80121F00, 0x80122040, 0x00000000, 0x0000000B, 0x8009C000, 0x00000000, 0x00000000, 0x00000000,
    0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x8011FFF0, 0x80123E60, 0x80123E60, 0x9FC019F8,
    0x0000000E, 0x3F8A2001, 0x00000000, 0x00000000, 0x80000000, 0x00000000, 0x00000000, 0x00000000,
    0x00000000, 0x00000000, 0x0000001F, 0x00000000, 0x00000000, 0x1F2C3D4E, 0x00000000, 0x00000000,
    0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000,
    0x10000403, 0x00800010, 0x9FC01A2C, 0x00019300, 0x80000000, 0x80000000, 0x00000000, 0x00000000,
    0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000,
    0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000,
    0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x00000000, 0x9FC00380, 0x00000000,
};
static_assert(std::size(kRegisters) == 32 + 55);

constexpr std::uint32_t kSystemStack[] = {
    0x80123E78, 0x9FC019F8, 0x00000000, 0x00000001, 0x80042F10, 0x8009A3C4, 0xDEADBEEF, 0xDEADBEEF,
    0x80123EA0, 0x9FC02210, 0x00000010, 0x00000004, 0x80100000, 0x00000000, 0xDEADBEEF, 0xDEADBEEF,
    0x80123EC8, 0x9FC00D4C, 0x00000000, 0x00000000, 0x00000000, 0x00000000,
};

// Thread control block: twelve words.
constexpr std::uint32_t kThreadControlBlock[] = {
    0x54485244, 0x80123E60, 0x80123000, 0x00001000, 0x00000003, 0x00000005,
    0x8009C000, 0x00000000, 0x00000002, 0x0000001A, 0x80122040, 0x00000000,
};

constexpr std::uint32_t kThreadStack[] = {
    0x80123F00, 0x9FC01A00, 0x00000011, 0x0000A5A5, 0x00000000, 0x80121F00, 0x9FC018C4, 0x00000000,
    0x00000000, 0x00000000, 0x80123F40, 0x9FC00F20, 0x00000001, 0x00000000, 0x00000000, 0x00000000,
    0x80123F80, 0x9FC00A10,
};

constexpr std::uint32_t kFifthArea[] = {0xC0FFEE00, 0x00000000, 0x00000001, 0x00000002, 0x00000003};
constexpr std::uint32_t kFifthAreaTail = 2;  // bytes after the last whole word

// The image offsets of the dump areas and the flash event log, in order.
struct nv_layout {
  std::uint32_t regs, sys_stack, tcb, thread_stack, area5, area5_length, event_log, event_log_length,
      size;
};

constexpr nv_layout make_layout() {
  nv_layout l{};
  l.regs = kNvHeader;
  l.sys_stack = l.regs + 4 * std::size(kRegisters);
  l.tcb = l.sys_stack + 4 * std::size(kSystemStack);
  l.thread_stack = l.tcb + 4 * std::size(kThreadControlBlock);
  l.area5 = l.thread_stack + 4 * std::size(kThreadStack);
  l.area5_length = 4 * std::size(kFifthArea) + kFifthAreaTail;
  l.event_log = l.area5 + l.area5_length + 2;  // keeps the event log word-aligned
  l.event_log_length = 48 + kRecordSize * std::size(kFlashEvents);
  l.size = l.event_log + l.event_log_length;
  return l;
}

constexpr nv_layout kLayout = make_layout();

void put_words(bytevec &image, std::size_t off, std::span<const std::uint32_t> words) {
  for (std::size_t i = 0; i < words.size(); ++i) put_le32(image, off + 4 * i, words[i]);
}

// CRC-32/BZIP2, bit by bit.
std::uint32_t crc32_bzip2(const std::uint8_t *data, std::size_t len) {
  std::uint32_t reg = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < len; ++i) {
    reg ^= std::uint32_t{data[i]} << 24;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
  }
  return ~reg;
}

void put_nv_header(bytevec &image) {
  constexpr std::uint8_t kMagic[16] = {'N', 'V', 'C', 'D', 1, 0, 0, 0, 0x03, 0x01, 0x00, 0x00,
                                       0x2C, 0x1A, 0xC0, 0x9F};
  std::copy(std::begin(kMagic), std::end(kMagic), image.begin());
  const std::uint32_t fields[] = {
      kLayout.event_log,    kLayout.event_log_length,
      kLayout.regs,         4 * std::size(kRegisters),
      kLayout.sys_stack,    4 * std::size(kSystemStack),
      kLayout.tcb,          4 * std::size(kThreadControlBlock),
      kLayout.thread_stack, 4 * std::size(kThreadStack),
      kLayout.area5,        kLayout.area5_length,
  };
  put_words(image, 16, fields);
  put_le32(image, 64, 0x0000000E);   // cause: watchdog
  put_le32(image, 68, 0x63A1F0C2);   // crash sequence number
  put_le32(image, 116, crc32_bzip2(image.data(), 116));
}

bytevec nv_log_image() {
  bytevec image(kLayout.size);
  put_words(image, kLayout.regs, kRegisters);
  put_words(image, kLayout.sys_stack, kSystemStack);
  put_words(image, kLayout.tcb, kThreadControlBlock);
  put_words(image, kLayout.thread_stack, kThreadStack);
  put_words(image, kLayout.area5, kFifthArea);
  image[kLayout.area5 + 4 * std::size(kFifthArea)] = 0xEE;  // the tail bytes
  image[kLayout.event_log] = 'E';                           // event log area header
  image[kLayout.event_log + 1] = 'V';
  for (std::size_t r = 0; r < std::size(kFlashEvents); ++r) {
    put_words(image, kLayout.event_log + 48 + kRecordSize * r, record_words(kFlashEvents[r]));
  }
  put_nv_header(image);
  return image;
}

constexpr std::size_t kChunkData = 256;

bool nv_log_chunk(unsigned chunk, bytevec &out) {
  const bytevec image = nv_log_image();
  const std::size_t from = std::size_t{chunk} * kChunkData;
  if (from >= image.size()) return false;
  const std::size_t n = std::min(kChunkData, image.size() - from);
  out.assign(20 + n, 0);
  out[0] = 0xF4;
  put_be16(out, 2, static_cast<std::uint32_t>(16 + n));
  put_be32(out, 4, static_cast<std::uint32_t>(from));
  put_be32(out, 8, static_cast<std::uint32_t>(image.size()));
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(from), n, out.begin() + 20);
  return true;
}

}  // namespace

bool default_log_page(int page_code, unsigned chunk, std::vector<std::uint8_t> &out) {
  switch (page_code) {
    case 0x80: out = ram_log_page(); return true;
    case 0x02: out = enclosure_status_page(); return true;
    case 0x0A: out = additional_element_status_page(); return true;
    case 0xF3: out = sssf_status_page(); return true;
    case 0xF4: return nv_log_chunk(chunk, out);
    default: return false;
  }
}

}  // namespace sim
