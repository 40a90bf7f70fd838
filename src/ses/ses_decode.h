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

// Appends formatted text to a line being built in text at *length, bounded
// by the room left; *length becomes the new end of the text.
void line_append(text_span text, std::size_t *length, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
