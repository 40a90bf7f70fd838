// Decoders of the SES status pages behind analysis_page_log. Each takes only
// the bytes of the page that the work buffer actually holds and reads nothing
// outside them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/sizes.h"

// Element type of an array device slot: the only status layout decoded.
inline constexpr int kArrayDeviceSlot = 23;

// The page copy in the work buffer: page_length (big-endian, bytes 2-3) + 4
// bytes. A page longer than the work buffer was refused by the bounded copy
// and left the buffer cleared, so none of it is held: the result is empty.
std::span<const std::uint8_t> ses_page_bytes(std::span<const std::uint8_t> work);

// Status element texts, indexed by the element status code (byte 0, bits 3-0).
extern const std::array<const char *, 16> elem_status_code_desc;

// Logs the seven lines of one 4-byte status element, each after prefix.
// 0, or -1 (and a failure line) for an element_type other than 23.
int analysis_enc_status(const char *prefix, std::span<const std::uint8_t, 4> element,
                        int element_type);

// SAS device types, indexed by bits 6-4 of a phy descriptor's byte 0.
extern const std::array<const char *, 8> sas_device_type;

// Logs one block per additional element descriptor of page 0x0A, at most
// count of them, walking from byte 8 of page by the descriptors' lengths.
// page is the page copy held (ses_page_bytes). Always 0.
int analysis_additional_elem(std::span<const std::uint8_t> page, int count);

// Layout of the Additional Element Status page (0x0A), for its decoder and
// for other descriptions of the same fields.
namespace addl_elem {
// Page: byte 0 bits 3-0 the protocol selector; descriptors from byte 8.
inline constexpr std::size_t kProtocolByte = 0;
inline constexpr unsigned kProtocolMask = 0x0F;
inline constexpr std::size_t kFirstDescriptor = 8;

// Descriptor: byte 0 bit 7 invalid, bit 4 element index present; byte 1 the
// length of the body after the two header bytes; byte 2 bits 1-0 eiioe.
inline constexpr std::size_t kDescHeaderSize = 2;
inline constexpr std::size_t kDescFlags = 0;
inline constexpr std::size_t kDescLength = 1;
inline constexpr std::size_t kDescEiioe = 2;
inline constexpr unsigned kInvalidBit = 0x80;
inline constexpr unsigned kEipBit = 0x10;
inline constexpr unsigned kEiioeMask = 0x03;

// SAS part from byte s (4 with EIP, 2 without): s the number of phys, s + 1
// bits 7-6 the descriptor type and bit 0 not-all-phys, s + 3 the device slot
// (with EIP only); phy descriptors from byte 8 with EIP, 4 without.
inline constexpr std::size_t kSasStartEip = 4;
inline constexpr std::size_t kSasStart = 2;
inline constexpr std::size_t kPhysStartEip = 8;
inline constexpr std::size_t kPhysStart = 4;
inline constexpr std::size_t kPhyCount = 0;   // from s
inline constexpr std::size_t kSasFlags = 1;   // from s
inline constexpr std::size_t kSlotNumber = 3;  // from s

// Phy descriptor, 28 bytes.
inline constexpr std::size_t kPhySize = 28;
inline constexpr std::size_t kDeviceTypeByte = 0;  // bits 6-4
inline constexpr std::size_t kAttachedAddress = 4;  // 8 bytes, most significant first
inline constexpr std::size_t kSasAddress = 12;      // 8 bytes
inline constexpr std::size_t kAddressSize = 8;
inline constexpr std::size_t kPhyIdentifier = 20;
}  // namespace addl_elem

// The descriptor at off of page 0x0A, header and body, or an empty span when
// either would reach past the page bytes held.
std::span<const std::uint8_t> additional_descriptor_at(std::span<const std::uint8_t> page,
                                                       std::size_t off);

// Logs the SAS part of one additional element descriptor: desc is the whole
// descriptor, its two header bytes and the descriptor length of body. Phys
// are read only within desc. Always 0.
int analysis_additional_elem_sas(const char *prefix, std::span<const std::uint8_t> desc);

// SSSF page structure: 4-byte header and 68 phy records of 8 bytes.
inline constexpr std::size_t kSssfPageSize = 548;
inline constexpr std::size_t kSssfHeaderSize = 4;
inline constexpr std::size_t kSssfRecordSize = 8;
inline constexpr int kSssfRecords = 68;
static_assert(kSssfHeaderSize + kSssfRecords * kSssfRecordSize == kSssfPageSize);

// Logs one line per SSSF phy record, the first count of them (at most 68).
// Always 0.
int analysis_sssf_status(
    std::span<const std::uint8_t, kSssfPageSize - kSssfHeaderSize> records, int count);

// One named bit of a page field: byte offset, bit number (7 is the most
// significant) and the text shown for it.
struct bit_row {
  std::size_t byte;
  unsigned bit;
  const char *label;
};

inline int bit_value(std::span<const std::uint8_t> bytes, const bit_row &row) {
  return row.byte < bytes.size() ? (bytes[row.byte] >> row.bit) & 1 : 0;
}

// The named bits of an array device slot element, line by line; the first
// line ends with the status text.
struct status_bit {
  int line;
  bit_row row;
};
inline constexpr status_bit enc_status_bits[] = {
    {0, {0, 6, "Predicted failure"}},   {0, {0, 5, "Disabled"}},
    {0, {0, 4, "Swap"}},
    {1, {1, 7, "OK"}},                  {1, {1, 6, "Reserved device"}},
    {1, {1, 5, "Hot spare"}},           {1, {1, 4, "Cons check"}},
    {2, {1, 3, "In crit array"}},       {2, {1, 2, "In failed array"}},
    {2, {1, 1, "Rebuild/remap"}},       {2, {1, 0, "R/R abort"}},
    {3, {2, 7, "App client bypass A"}}, {3, {2, 6, "Do not remove"}},
    {3, {2, 5, "Enc bypass A"}},        {3, {2, 4, "Enc bypass B"}},
    {4, {2, 3, "Ready to insert"}},     {4, {2, 2, "RMV"}},
    {4, {2, 1, "Ident"}},               {4, {2, 0, "Report"}},
    {5, {3, 7, "App client bypass B"}}, {5, {3, 6, "Fault sensed"}},
    {5, {3, 5, "Fault reqstd"}},        {5, {3, 4, "Device off"}},
    {6, {3, 3, "Bypassed A"}},          {6, {3, 2, "Bypassed B"}},
    {6, {3, 1, "Dev bypassed A"}},      {6, {3, 0, "Dev bypassed B"}},
};

// A field of the 8-byte SSSF phy record: the text before its value (which
// carries the separator: no semicolon before emip_err_state), its byte, shift
// and mask, and whether the value is padded to two characters.
struct sssf_field {
  const char *label;
  std::size_t byte;
  unsigned shift;
  unsigned mask;
  bool padded;
};
inline constexpr sssf_field sssf_fields[] = {
    {"phy_id:", 0, 0, 0x7F, true},
    {" ;sxl_rate:", 1, 4, 0x0F, true},
    {" ;sspl_rate:", 1, 0, 0x0F, true},
    {" ;ecc_test_state:", 2, 3, 0x07, false},
    {" ;work_mode:", 2, 0, 0x07, false},
    {" ;max_frame_count:", 3, 0, 0xFF, false},
    {" emip_err_state:", 4, 0, 0x01, false},
    {" ;sxl_err_state:", 4, 1, 0x01, false},
    {" ;sssf_err_state:", 4, 2, 0x01, false},
    {" ;sssf_splid_mode:", 5, 0, 0x01, false},
};

// The protocol bits of a phy descriptor, each label with its leading blank.
inline constexpr bit_row sas_initiator_bits[] = {{2, 3, " SSP"}, {2, 2, " STP"}, {2, 1, " SMP"}};
inline constexpr bit_row sas_target_bits[] = {
    {3, 7, " SATA_port_selector"}, {3, 3, " SSP"}, {3, 2, " STP"}, {3, 1, " SMP"},
    {3, 0, " SATA_device"},
};

// Appends formatted text to a line being built in text at *length, bounded
// by the room left; *length becomes the new end of the text.
void line_append(text_span text, std::size_t *length, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
