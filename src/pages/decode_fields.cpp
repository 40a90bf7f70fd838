// The decoded fields of a page as JSON keys. Each walk below is the walk of
// the page's text decoder: the same entry count, the same bounds, the same
// row tables, so a field is here exactly when its line is in the text.
#include "pages/decode_fields.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "common/bytes.h"
#include "common/page_codes.h"
#include "decode/event_line.h"
#include "decode/event_messages.h"
#include "decode/time_text.h"
#include "ses/ses_decode.h"

namespace {

using json_doc::stream;
using json_doc::close;
using json_doc::key;
using json_doc::member;
using json_doc::open_array;
using json_doc::open_object;
using json_doc::value;

// The overall element and the numbered ones of page 0x02.
constexpr std::size_t kOverallElement = 8;
constexpr std::size_t kFirstElement = 12;
constexpr std::size_t kElementSize = 4;
constexpr unsigned kStatusCodeMask = 0x0F;

void hex32(stream &out, std::string_view name, std::uint32_t word) {
  constexpr char kDigits[] = "0123456789abcdef";
  char text[] = "0x00000000";
  for (std::size_t i = 0; i < 8; ++i) text[9 - i] = kDigits[(word >> (4 * i)) & 0xF];
  member(out, name, std::string_view(text, sizeof text - 1));
}

void string_or_null(stream &out, std::string_view name, const char *text) {
  key(out, name);
  if (text != nullptr) {
    value(out, text);
  } else {
    value(out, nullptr);
  }
}

// The keys of a row table, worked out once.
template <std::size_t N, typename Row, typename Label>
const std::array<std::string, N> &row_keys(const Row (&rows)[N], Label label) {
  static const std::array<std::string, N> keys = [&] {
    std::array<std::string, N> made;
    for (std::size_t i = 0; i < N; ++i) made[i] = snake_key(label(rows[i]));
    return made;
  }();
  return keys;
}

// One event record, as analysis_log prints it.
void event_json(std::span<const std::uint8_t> record, stream &out) {
  using namespace event_record;
  const auto word = [&](std::size_t w) { return static_cast<std::uint32_t>(record_word(record, w)); };
  const std::uint32_t high = word(kTimeHigh);
  const std::uint32_t low = word(kTimeLow);
  std::array<char, kTimeTextMax + 1> time{};
  ustoymdhmsmsus((std::uint64_t{high} << 32) | low, time);
  const std::uint32_t level = word(kSeverityWord) & 0xFFFFu;
  const std::uint32_t code = word(kEventCode);
  open_object(out);
  member(out, "number", record_word(record, kNumber));
  member(out, "time", time.data());
  key(out, "time_words");
  open_array(out);
  value(out, high);
  value(out, low);
  close(out);
  json_doc::code_and_text(out, "severity", level,
                          find_severity_name(static_cast<std::int32_t>(level)));
  hex32(out, "event_code", code);
  member(out, "module", code >> 16);
  string_or_null(out, "message", find_event_message(code));
  key(out, "params");
  open_array(out);
  for (const std::size_t w : {kParam1, kParam2, kParam3}) value(out, word(w));
  close(out);
  close(out);
}

// Event records, as analysis_log takes them from the work buffer.
void events_json(const decoded_work &kept, stream &out) {
  using namespace event_record;
  const int records = kept.count < kMaxEventRecords ? kept.count : kMaxEventRecords;
  const std::span<const std::uint8_t> work(kept.work);
  key(out, "events");
  open_array(out);
  for (int i = 0; i < records; ++i) {
    event_json(work.subspan(static_cast<std::size_t>(i) * kEventRecordSize, kEventRecordSize), out);
  }
  close(out);
}

// A dump area's heading without the line breaks around it.
std::string_view area_name(const char *heading) {
  std::string_view name(heading);
  while (!name.empty() && (name.front() == '\n' || name.front() == '\r')) name.remove_prefix(1);
  while (!name.empty() && name.back() == '\n') name.remove_suffix(1);
  return name;
}

// The five dump areas of the NV log image, as log_crash_dump prints them.
void crash_dump_json(std::span<const std::uint8_t> image, stream &out) {
  key(out, "crash_dump");
  open_array(out);
  for (const dump_area &area : crash_dump_areas) {
    const std::uint32_t offset = bytes::le32(image, area.offset_field);
    const std::uint32_t length = bytes::le32(image, area.offset_field + 4);
    const std::size_t n = dump_area_words(image, offset, length);
    open_object(out);
    member(out, "area", area_name(area.heading));
    member(out, "offset", offset);
    member(out, "length", length);
    key(out, "words");
    open_array(out);
    for (std::size_t i = 0; i < n; ++i) value(out, bytes::le32(image, offset + 4 * i));
    close(out);
    close(out);
  }
  close(out);
}

// One status element of page 0x02, as analysis_enc_status prints it.
void element_json(std::span<const std::uint8_t> element, stream &out) {
  const auto &keys = row_keys(enc_status_bits, [](const status_bit &b) { return b.row.label; });
  const unsigned code = bytes::u8(element, 0) & kStatusCodeMask;
  json_doc::code_and_text(out, "status", code, elem_status_code_desc[code]);
  std::size_t i = 0;
  for (const status_bit &bit : enc_status_bits) member(out, keys[i++], bit_value(element, bit.row) != 0);
}

void enclosure_status_json(const decoded_work &kept, stream &out) {
  const std::span<const std::uint8_t> work(kept.work);
  key(out, "overall");
  open_object(out);
  element_json(work.subspan(kOverallElement, kElementSize), out);
  close(out);
  const std::span<const std::uint8_t> page = ses_page_bytes(kept.work);
  key(out, "elements");
  open_array(out);
  for (int n = 0; n < kept.count; ++n) {
    const std::size_t off = kFirstElement + static_cast<std::size_t>(n) * kElementSize;
    if (!bytes::fits(page, off, kElementSize)) break;
    open_object(out);
    member(out, "index", n);
    element_json(page.subspan(off, kElementSize), out);
    close(out);
  }
  close(out);
}

void port_list(std::span<const std::uint8_t> phy, std::string_view name,
               std::span<const bit_row> rows, stream &out) {
  key(out, name);
  open_array(out);
  for (const bit_row &row : rows) {
    if (bit_value(phy, row) == 0) continue;
    const char *label = row.label;
    while (*label == ' ') ++label;
    value(out, label);
  }
  close(out);
}

// One phy descriptor, as the text shows it: both addresses "0x0" when the
// phy has neither.
void phy_json(std::span<const std::uint8_t> phy, int index, stream &out) {
  using namespace addl_elem;
  const unsigned type = (phy[kDeviceTypeByte] >> 4) & 0x07;
  open_object(out);
  member(out, "phy_index", index);
  json_doc::code_and_text(out, "device_type", type, sas_device_type[type]);
  port_list(phy, "initiator_ports", sas_initiator_bits, out);
  port_list(phy, "target_ports", sas_target_bits, out);
  bool has_addresses = false;
  for (std::size_t i = kAttachedAddress; i < kSasAddress + kAddressSize; ++i) {
    has_addresses = has_addresses || phy[i] != 0;
  }
  member(out, "attached_sas_address",
         has_addresses ? json_doc::hex_string(phy.data() + kAttachedAddress, kAddressSize) : "0x0");
  member(out, "sas_address",
         has_addresses ? json_doc::hex_string(phy.data() + kSasAddress, kAddressSize) : "0x0");
  member(out, "phy_identifier", phy[kPhyIdentifier]);
  close(out);
}

// The SAS part of a descriptor, as analysis_additional_elem_sas prints it;
// null when the descriptor is too short to hold it.
void sas_json(std::span<const std::uint8_t> desc, stream &out) {
  using namespace addl_elem;
  const bool eip = (bytes::u8(desc, 0) & kEipBit) != 0;
  const std::size_t s = eip ? kSasStartEip : kSasStart;
  const std::size_t phys_at = eip ? kPhysStartEip : kPhysStart;
  key(out, "sas");
  if (!bytes::fits(desc, 0, phys_at)) {
    value(out, nullptr);
    return;
  }
  open_object(out);
  const std::uint8_t flags = desc[s + kSasFlags];
  member(out, "descriptor_type", flags >> 6);
  if ((flags >> 6) == 0) {
    const int phy_count = desc[s + kPhyCount];
    member(out, "number_of_phys", phy_count);
    member(out, "not_all_phys", flags & 0x01);
    if (eip) member(out, "device_slot_number", desc[s + kSlotNumber]);
    key(out, "phys");
    open_array(out);
    for (int p = 0; p < phy_count; ++p) {
      const std::size_t off = phys_at + static_cast<std::size_t>(p) * kPhySize;
      if (!bytes::fits(desc, off, kPhySize)) break;
      phy_json(desc.subspan(off, kPhySize), p, out);
    }
    close(out);
  }
  close(out);
}

void descriptor_json(std::span<const std::uint8_t> desc, int index, bool selected, stream &out) {
  using namespace addl_elem;
  const std::uint8_t flags = desc[kDescFlags];
  const bool eip = (flags & kEipBit) != 0;
  const bool invalid = (flags & kInvalidBit) != 0;
  open_object(out);
  member(out, "index", index);
  member(out, "element_index_present", eip);
  if (eip) member(out, "eiioe", bytes::u8(desc, kDescEiioe) & kEiioeMask);
  member(out, "invalid", invalid);
  if (invalid) {
    member(out, "transport_protocol", nullptr);
  } else if (selected) {
    member(out, "transport_protocol", "SAS");
    sas_json(desc, out);
  } else {
    member(out, "transport_protocol", "not decoded");
  }
  close(out);
}

void additional_element_json(const decoded_work &kept, stream &out) {
  using namespace addl_elem;
  const std::span<const std::uint8_t> page = ses_page_bytes(kept.work);
  const bool selected = (bytes::u8(page, kProtocolByte) & kProtocolMask) != 0;
  member(out, "protocol_selected", selected);
  key(out, "descriptors");
  open_array(out);
  std::size_t off = kFirstDescriptor;
  for (int n = 0; n < kept.count; ++n) {
    const std::span<const std::uint8_t> desc = additional_descriptor_at(page, off);
    if (desc.empty()) break;
    descriptor_json(desc, n, selected, out);
    off += desc.size();
  }
  close(out);
}

// The SSSF phy records, as sssf_status_page bounds them.
void sssf_json(const decoded_work &kept, stream &out) {
  const auto &keys = row_keys(sssf_fields, [](const sssf_field &f) { return f.label; });
  const std::span<const std::uint8_t> page = ses_page_bytes(kept.work);
  const std::size_t held = page.size() < kSssfPageSize ? page.size() : kSssfPageSize;
  const auto records_held =
      static_cast<int>(held > kSssfHeaderSize ? (held - kSssfHeaderSize) / kSssfRecordSize : 0);
  const int decoded = std::min({kept.count, records_held, kSssfRecords});
  key(out, "phys");
  open_array(out);
  for (int n = 0; n < decoded; ++n) {
    const auto record =
        page.subspan(kSssfHeaderSize + static_cast<std::size_t>(n) * kSssfRecordSize, kSssfRecordSize);
    open_object(out);
    std::size_t i = 0;
    for (const sssf_field &field : sssf_fields) {
      member(out, keys[i++], (record[field.byte] >> field.shift) & field.mask);
    }
    close(out);
  }
  close(out);
}

}  // namespace

std::string snake_key(const char *label) {
  std::string key;
  bool gap = false;
  for (const char *c = label; *c != '\0'; ++c) {
    const char ch = *c;
    const bool alnum = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    if (!alnum) {
      gap = !key.empty();
      continue;
    }
    if (gap) key.push_back('_');
    gap = false;
    key.push_back(ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch);
  }
  return key;
}

void decoded_fields_json(int code, const decoded_work &kept, std::span<const std::uint8_t> image,
                         json_doc::stream &out) {
  if (kept.count < 0) return;
  switch (code) {
    case kPageRamLog:
      events_json(kept, out);
      break;
    case kPageNvLog:
      crash_dump_json(image, out);
      events_json(kept, out);
      break;
    case kPageEnclosureStatus:
      enclosure_status_json(kept, out);
      break;
    case kPageAdditionalElement:
      additional_element_json(kept, out);
      break;
    case kPageSssf:
      sssf_json(kept, out);
      break;
    default:
      break;
  }
}
