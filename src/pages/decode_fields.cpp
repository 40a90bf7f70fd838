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

using json_doc::json;

// The overall element and the numbered ones of page 0x02.
constexpr std::size_t kOverallElement = 8;
constexpr std::size_t kFirstElement = 12;
constexpr std::size_t kElementSize = 4;
constexpr unsigned kStatusCodeMask = 0x0F;

// Appends key to an object being built. The keys of each object here are
// distinct by construction, so the ordered map's search for an existing key
// (linear, and paid once a key) is skipped.
template <typename Value>
void put(json &object, const std::string &key, Value &&value) {
  object.get_ref<json::object_t &>().emplace_back(key, json(std::forward<Value>(value)));
}

json code_and_text(unsigned code, const char *text) {
  json value = json::object();
  value["code"] = code;
  if (text != nullptr) {
    value["text"] = text;
  } else {
    value["text"] = nullptr;
  }
  return value;
}

std::string hex32(std::uint32_t word) {
  char text[16] = {};
  std::snprintf(text, sizeof text, "0x%08x", word);
  return text;
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

constexpr std::size_t kEventKeys = 8;

// Event records, as analysis_log takes them from the work buffer.
json events_json(const decoded_work &kept) {
  using namespace event_record;
  json events = json::array();
  const int records = kept.count < kMaxEventRecords ? kept.count : kMaxEventRecords;
  const std::span<const std::uint8_t> work(kept.work);
  for (int i = 0; i < records; ++i) {
    const auto record =
        work.subspan(static_cast<std::size_t>(i) * kEventRecordSize, kEventRecordSize);
    const auto word = [&](std::size_t w) { return static_cast<std::uint32_t>(record_word(record, w)); };
    const std::uint32_t high = word(kTimeHigh);
    const std::uint32_t low = word(kTimeLow);
    std::array<char, kTimeTextMax + 1> time{};
    ustoymdhmsmsus((std::uint64_t{high} << 32) | low, time);
    const std::uint32_t level = word(kSeverityWord) & 0xFFFFu;
    const std::uint32_t code = word(kEventCode);
    const char *message = find_event_message(code);
    json event = json_doc::empty_object(kEventKeys);
    put(event, "number", record_word(record, kNumber));
    put(event, "time", time.data());
    put(event, "time_words", json::array({high, low}));
    put(event, "severity", code_and_text(level, find_severity_name(static_cast<std::int32_t>(level))));
    put(event, "event_code", hex32(code));
    put(event, "module", code >> 16);
    if (message != nullptr) {
      put(event, "message", message);
    } else {
      put(event, "message", nullptr);
    }
    put(event, "params", json::array({word(kParam1), word(kParam2), word(kParam3)}));
    events.push_back(std::move(event));
  }
  return events;
}

// The five dump areas of the NV log image, as log_crash_dump prints them.
json crash_dump_json(std::span<const std::uint8_t> image) {
  json areas = json::array();
  for (const dump_area &area : crash_dump_areas) {
    const std::uint32_t offset = bytes::le32(image, area.offset_field);
    const std::uint32_t length = bytes::le32(image, area.offset_field + 4);
    const std::size_t n = dump_area_words(image, offset, length);
    json words = json::array();
    for (std::size_t i = 0; i < n; ++i) words.push_back(bytes::le32(image, offset + 4 * i));
    std::string heading = area.heading;
    while (!heading.empty() && (heading.front() == '\n' || heading.front() == '\r')) heading.erase(0, 1);
    while (!heading.empty() && heading.back() == '\n') heading.pop_back();
    json entry = json::object();
    entry["area"] = std::move(heading);
    entry["offset"] = offset;
    entry["length"] = length;
    entry["words"] = std::move(words);
    areas.push_back(std::move(entry));
  }
  return areas;
}

// One status element of page 0x02, as analysis_enc_status prints it.
void element_json(std::span<const std::uint8_t> element, json &value) {
  const auto &keys = row_keys(enc_status_bits, [](const status_bit &b) { return b.row.label; });
  const unsigned code = bytes::u8(element, 0) & kStatusCodeMask;
  put(value, "status", code_and_text(code, elem_status_code_desc[code]));
  std::size_t i = 0;
  for (const status_bit &bit : enc_status_bits) put(value, keys[i++], bit_value(element, bit.row) != 0);
}

void enclosure_status_json(const decoded_work &kept, json &entry) {
  const std::span<const std::uint8_t> work(kept.work);
  json overall = json_doc::empty_object(std::size(enc_status_bits) + 1);
  element_json(work.subspan(kOverallElement, kElementSize), overall);
  entry["overall"] = std::move(overall);
  const std::span<const std::uint8_t> page = ses_page_bytes(kept.work);
  json elements = json::array();
  for (int n = 0; n < kept.count; ++n) {
    const std::size_t off = kFirstElement + static_cast<std::size_t>(n) * kElementSize;
    if (!bytes::fits(page, off, kElementSize)) break;
    json element = json_doc::empty_object(std::size(enc_status_bits) + 2);
    put(element, "index", n);
    element_json(page.subspan(off, kElementSize), element);
    elements.push_back(std::move(element));
  }
  entry["elements"] = std::move(elements);
}

json port_list(std::span<const std::uint8_t> phy, std::span<const bit_row> rows) {
  json ports = json::array();
  for (const bit_row &row : rows) {
    if (bit_value(phy, row) == 0) continue;
    const char *label = row.label;
    while (*label == ' ') ++label;
    ports.push_back(label);
  }
  return ports;
}

// One phy descriptor, as the text shows it: both addresses "0x0" when the
// phy has neither.
json phy_json(std::span<const std::uint8_t> phy, int index) {
  using namespace addl_elem;
  json value = json::object();
  const unsigned type = (phy[kDeviceTypeByte] >> 4) & 0x07;
  value["phy_index"] = index;
  value["device_type"] = code_and_text(type, sas_device_type[type]);
  value["initiator_ports"] = port_list(phy, sas_initiator_bits);
  value["target_ports"] = port_list(phy, sas_target_bits);
  bool has_addresses = false;
  for (std::size_t i = kAttachedAddress; i < kSasAddress + kAddressSize; ++i) {
    has_addresses = has_addresses || phy[i] != 0;
  }
  value["attached_sas_address"] =
      has_addresses ? json_doc::hex_string(phy.data() + kAttachedAddress, kAddressSize) : "0x0";
  value["sas_address"] =
      has_addresses ? json_doc::hex_string(phy.data() + kSasAddress, kAddressSize) : "0x0";
  value["phy_identifier"] = phy[kPhyIdentifier];
  return value;
}

// The SAS part of a descriptor, as analysis_additional_elem_sas prints it;
// null when the descriptor is too short to hold it.
json sas_json(std::span<const std::uint8_t> desc) {
  using namespace addl_elem;
  const bool eip = (bytes::u8(desc, 0) & kEipBit) != 0;
  const std::size_t s = eip ? kSasStartEip : kSasStart;
  const std::size_t phys_at = eip ? kPhysStartEip : kPhysStart;
  if (!bytes::fits(desc, 0, phys_at)) return nullptr;
  json value = json::object();
  const std::uint8_t flags = desc[s + kSasFlags];
  value["descriptor_type"] = flags >> 6;
  if ((flags >> 6) != 0) return value;
  const int phy_count = desc[s + kPhyCount];
  value["number_of_phys"] = phy_count;
  value["not_all_phys"] = flags & 0x01;
  if (eip) value["device_slot_number"] = desc[s + kSlotNumber];
  json phys = json::array();
  for (int p = 0; p < phy_count; ++p) {
    const std::size_t off = phys_at + static_cast<std::size_t>(p) * kPhySize;
    if (!bytes::fits(desc, off, kPhySize)) break;
    phys.push_back(phy_json(desc.subspan(off, kPhySize), p));
  }
  value["phys"] = std::move(phys);
  return value;
}

void additional_element_json(const decoded_work &kept, json &entry) {
  using namespace addl_elem;
  const std::span<const std::uint8_t> page = ses_page_bytes(kept.work);
  const bool selected = (bytes::u8(page, kProtocolByte) & kProtocolMask) != 0;
  entry["protocol_selected"] = selected;
  json descriptors = json::array();
  std::size_t off = kFirstDescriptor;
  for (int n = 0; n < kept.count; ++n) {
    const std::span<const std::uint8_t> desc = additional_descriptor_at(page, off);
    if (desc.empty()) break;
    const std::uint8_t flags = desc[kDescFlags];
    const bool eip = (flags & kEipBit) != 0;
    const bool invalid = (flags & kInvalidBit) != 0;
    json value = json::object();
    value["index"] = n;
    value["element_index_present"] = eip;
    if (eip) value["eiioe"] = bytes::u8(desc, kDescEiioe) & kEiioeMask;
    value["invalid"] = invalid;
    if (invalid) {
      value["transport_protocol"] = nullptr;
    } else if (selected) {
      value["transport_protocol"] = "SAS";
      value["sas"] = sas_json(desc);
    } else {
      value["transport_protocol"] = "not decoded";
    }
    descriptors.push_back(std::move(value));
    off += desc.size();
  }
  entry["descriptors"] = std::move(descriptors);
}

// The SSSF phy records, as sssf_status_page bounds them.
void sssf_json(const decoded_work &kept, json &entry) {
  const auto &keys = row_keys(sssf_fields, [](const sssf_field &f) { return f.label; });
  const std::span<const std::uint8_t> page = ses_page_bytes(kept.work);
  const std::size_t held = page.size() < kSssfPageSize ? page.size() : kSssfPageSize;
  const auto records_held =
      static_cast<int>(held > kSssfHeaderSize ? (held - kSssfHeaderSize) / kSssfRecordSize : 0);
  const int decoded = std::min({kept.count, records_held, kSssfRecords});
  json phys = json::array();
  for (int n = 0; n < decoded; ++n) {
    const auto record =
        page.subspan(kSssfHeaderSize + static_cast<std::size_t>(n) * kSssfRecordSize, kSssfRecordSize);
    json value = json_doc::empty_object(std::size(sssf_fields));
    std::size_t i = 0;
    for (const sssf_field &field : sssf_fields) {
      put(value, keys[i++], (record[field.byte] >> field.shift) & field.mask);
    }
    phys.push_back(std::move(value));
  }
  entry["phys"] = std::move(phys);
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
                         json_doc::json &entry) {
  if (kept.count < 0) return;
  switch (code) {
    case kPageRamLog:
      entry["events"] = events_json(kept);
      break;
    case kPageNvLog:
      entry["crash_dump"] = crash_dump_json(image);
      entry["events"] = events_json(kept);
      break;
    case kPageEnclosureStatus:
      enclosure_status_json(kept, entry);
      break;
    case kPageAdditionalElement:
      additional_element_json(kept, entry);
      break;
    case kPageSssf:
      sssf_json(kept, entry);
      break;
    default:
      break;
  }
}
