// corvane-pages status: the expander's identity and its images, read with
// INQUIRY and RECEIVE DIAGNOSTIC RESULTS only.
#include "pages/status.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "common/sizes.h"
#include "pages/pages.h"
#include "sg/sg.h"
#include "sg/sg_reason.h"

namespace {

constexpr int kVpdSerial = 0x80;
constexpr int kVpdDeviceId = 0x83;
constexpr std::size_t kReadSize = 1024;  // every identity response fits

// Where page 0x82 reports each image: its number byte, the bias taken off it
// and its three version characters.
struct image_place {
  std::size_t number;
  int bias;
  std::size_t version;
};
constexpr std::array<image_place, 2> kFirmwarePlaces = {{{4, 5, 6}, {16, 5, 18}}};
constexpr std::array<image_place, 2> kDataPlaces = {{{32, 1, 33}, {44, 1, 45}}};
// Where the active images' entries end, and where the other data image's
// entry ends (a page that stops before it names no other data image).
constexpr std::size_t kActiveImagesEnd = kDataPlaces[0].version + 3;
constexpr std::size_t kImagesEnd = kDataPlaces[1].version + 3;

image_entry parse_entry(std::span<const std::uint8_t> page, const image_place &at, bool active) {
  image_entry entry;
  entry.reported = active || bytes::u8(page, at.number) != 0;
  entry.number = static_cast<int>(bytes::u8(page, at.number)) - at.bias;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint8_t c = bytes::u8(page, at.version + i);
    entry.version[i] = c == 0 ? ' ' : static_cast<char>(c);
  }
  entry.active = active;
  return entry;
}

// Designator type codes of the device identification page.
constexpr std::array<const char *, 11> kDesignatorTypes = {
    "vendor specific", "T10 vendor identification", "EUI-64", "NAA",
    "relative target port", "target port group", "logical unit group", "MD5 logical unit",
    "SCSI name string", "protocol specific port", "UUID"};

// The SCSI address of an sg node from sysfs ("H:C:T:L"), or empty.
void scsi_address(const char *dev, char *out, std::size_t room) {
  out[0] = '\0';
  struct stat st {};
  if (stat(dev, &st) != 0 || !S_ISCHR(st.st_mode)) return;
  char link[128] = {};
  sprintf_s(link, sizeof link, "/sys/dev/char/%u:%u/device", major(st.st_rdev), minor(st.st_rdev));
  char target[512] = {};
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return;
  target[n] = '\0';
  const char *name = std::strrchr(target, '/');
  strcpy_s(out, room, name != nullptr ? name + 1 : target);
}

// The reason of the exchange just made, or "no reason known".
void report_failed(const char *what) {
  char reason[kReasonSize] = {};
  if (!sg_reason(reason, sizeof reason)) strcpy_s(reason, sizeof reason, "no reason known");
  pages_error("%s could not be read: %s", what, reason);
}

bool read_response(const char *dev, int vpd, std::span<std::uint8_t, kReadSize> buf, const char *what) {
  memset_s(buf.data(), buf.size(), 0, buf.size());
  if (sg_inquiry_cmd(dev, vpd, buf) == 0) return true;
  report_failed(what);
  return false;
}

void read_identity(const char *dev, std::span<std::uint8_t, kReadSize> buf, expander_status &out) {
  expander_identity &id = out.identity;
  out.inquiry_read = read_response(dev, -1, buf, "INQUIRY");
  if (out.inquiry_read) {
    const std::size_t held = std::min<std::size_t>(std::size_t{bytes::u8(buf, 4)} + 5, buf.size());
    text_field(buf.first(held), 8, 8, id.vendor, sizeof id.vendor);
    text_field(buf.first(held), 16, 16, id.product, sizeof id.product);
    text_field(buf.first(held), 32, 4, id.revision, sizeof id.revision);
  }
  out.serial_read = read_response(dev, kVpdSerial, buf, "VPD page 0x80 (unit serial number)");
  if (out.serial_read) {
    const std::size_t held = std::min(page_header::declared_size(buf), buf.size());
    text_field(buf.first(held), page_header::kSize, held - page_header::kSize, id.serial,
               sizeof id.serial);
  }
  out.designator_read = read_response(dev, kVpdDeviceId, buf, "VPD page 0x83 (device identification)");
  if (out.designator_read) {
    const std::size_t held = std::min(page_header::declared_size(buf), buf.size());
    (void)pick_designator(buf.first(held), id);
  }
  scsi_address(dev, id.scsi_address, sizeof id.scsi_address);
}

void entry_json(const image_entry &entry, const char *kind, json_doc::json &list) {
  if (!entry.reported) return;
  json_doc::json item = json_doc::json::object();
  item["name"] = std::string(kind) + std::to_string(entry.number);
  item["number"] = entry.number;
  item["version"] = std::string(entry.version.data(), 3);
  item["active"] = entry.active;
  list.push_back(std::move(item));
}

void print_entry(const image_entry &entry, const char *label, const char *kind) {
  if (!entry.reported) return;
  std::printf("%-10s %s%d  version %.3s%s\n", label, kind, entry.number, entry.version.data(),
              entry.active ? "  (active)" : "");
}

const char *or_unknown(const char *text) { return text[0] != '\0' ? text : "(unknown)"; }

void print_status(const expander_status &s) {
  const expander_identity &id = s.identity;
  std::printf("device:    %s\n", s.device);
  std::printf("address:   %s\n", or_unknown(id.scsi_address));
  std::printf("vendor:    %s\n", or_unknown(id.vendor));
  std::printf("product:   %s\n", or_unknown(id.product));
  std::printf("revision:  %s\n", or_unknown(id.revision));
  std::printf("serial:    %s\n", or_unknown(id.serial));
  if (id.designator_size > 0) {
    const std::string hex = json_doc::hex_string(id.designator.data(), id.designator_size);
    std::printf("designator: %s (%s)\n", hex.c_str(), designator_type_text(id.designator_type));
  } else {
    std::printf("designator: (unknown)\n");
  }
  if (!s.firmware_read) return;
  for (const image_entry &e : s.images.firmware) print_entry(e, "firmware:", "image");
  for (const image_entry &e : s.images.data) print_entry(e, "data:", "data");
}

}  // namespace

void text_field(std::span<const std::uint8_t> buf, std::size_t from, std::size_t n, char *out,
                std::size_t room) {
  std::size_t len = 0;
  for (std::size_t i = 0; i < n && len + 1 < room && bytes::fits(buf, from + i, 1); ++i) {
    const std::uint8_t c = buf[from + i];
    out[len++] = c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : '.';
  }
  while (len > 0 && out[len - 1] == ' ') --len;
  out[len] = '\0';
}

firmware_images parse_firmware_images(std::span<const std::uint8_t> page) {
  firmware_images images;
  for (std::size_t i = 0; i < 2; ++i) {
    images.firmware[i] = parse_entry(page, kFirmwarePlaces[i], i == 0);
    images.data[i] = parse_entry(page, kDataPlaces[i], i == 0);
  }
  return images;
}

const char *designator_type_text(int type) {
  if (type < 0 || static_cast<std::size_t>(type) >= kDesignatorTypes.size()) return "reserved";
  return kDesignatorTypes[static_cast<std::size_t>(type)];
}

bool pick_designator(std::span<const std::uint8_t> page, expander_identity &id) {
  constexpr int kNaa = 3;
  bool found = false;
  for (std::size_t at = page_header::kSize; bytes::fits(page, at, 4);) {
    const std::size_t length = bytes::u8(page, at + 3);
    if (!bytes::fits(page, at + 4, length)) break;
    const int type = bytes::u8(page, at + 1) & 0x0F;
    if ((!found || type == kNaa) && length > 0 && id.designator_type != kNaa) {
      id.designator_size = std::min(length, id.designator.size());
      std::memcpy(id.designator.data(), page.data() + at + 4, id.designator_size);
      id.designator_type = type;
      found = true;
    }
    at += 4 + length;
  }
  return found;
}

int read_expander_status(const char *dev, expander_status &out) {
  out.device = dev;
  guard::heap<std::uint8_t> block(static_cast<std::uint8_t *>(std::malloc(kReceiveSize)));
  if (block.value == nullptr) {
    pages_error("no memory for the status");
    return -1;
  }
  const std::span<std::uint8_t, kReceiveSize> buf(block.value, kReceiveSize);
  read_identity(dev, buf.first<kReadSize>(), out);
  memset_s(buf.data(), buf.size(), 0, buf.size());
  if (sg_query_cmd(dev, kPageFirmwareStatus, buf) != 0) {
    report_failed("the firmware status page (0x82)");
    return -1;
  }
  if (bytes::u8(buf, page_header::kCode) == 0) {
    pages_error("%s: the firmware status page (0x82) came back with a page code of 0", dev);
    return -1;
  }
  const std::size_t declared = page_header::declared_size(buf);
  if (declared < kActiveImagesEnd) {
    pages_error("%s: the firmware status page (0x82) declares %zu bytes, too few for the active images (%zu)",
                dev, declared, kActiveImagesEnd);
    return -1;
  }
  // Every entry the page declares must have arrived: a cut transfer would
  // otherwise show images that are not there, or hide one that is.
  const std::size_t needed = std::min(declared, kImagesEnd);
  if (sg_last_delivered() < needed) {
    char reason[kReasonSize] = {};
    (void)sg_reason(reason, sizeof reason);
    pages_error("%s: the firmware status page (0x82) came back too short for its images (%zu bytes needed): %s",
                dev, needed, reason);
    return -1;
  }
  out.firmware_read = true;
  // Bytes past the page's declared length are no part of it.
  out.images = parse_firmware_images(buf.first(std::min(declared, buf.size())));
  return 0;
}

void images_json(const firmware_images &images, json_doc::json &out) {
  json_doc::json firmware = json_doc::json::array();
  json_doc::json data = json_doc::json::array();
  for (const image_entry &e : images.firmware) entry_json(e, "image", firmware);
  for (const image_entry &e : images.data) entry_json(e, "data", data);
  out["firmware_images"] = std::move(firmware);
  out["data_images"] = std::move(data);
}

json_doc::json status_json(const expander_status &s) {
  const expander_identity &id = s.identity;
  json_doc::json identity = json_doc::json::object();
  identity["device"] = s.device != nullptr ? s.device : "";
  identity["scsi_address"] = id.scsi_address[0] != '\0' ? json_doc::json(id.scsi_address) : nullptr;
  auto text_or_null = [](bool read, const char *text) {
    return read ? json_doc::json(text) : json_doc::json(nullptr);
  };
  identity["vendor"] = text_or_null(s.inquiry_read, id.vendor);
  identity["product"] = text_or_null(s.inquiry_read, id.product);
  identity["revision"] = text_or_null(s.inquiry_read, id.revision);
  identity["serial"] = text_or_null(s.serial_read, id.serial);
  if (id.designator_size > 0) {
    json_doc::json designator = json_doc::json::object();
    designator["value"] = json_doc::hex_string(id.designator.data(), id.designator_size);
    designator["type"] = {{"code", id.designator_type}, {"text", designator_type_text(id.designator_type)}};
    identity["designator"] = std::move(designator);
  } else {
    identity["designator"] = nullptr;
  }
  json_doc::json doc = json_doc::json::object();
  doc["identity"] = std::move(identity);
  if (s.firmware_read) {
    images_json(s.images, doc);
  } else {
    doc["firmware_images"] = nullptr;
    doc["data_images"] = nullptr;
  }
  return doc;
}

int status_command(const char *dev, bool json, int argc, char **argv) {
  expander_status status;
  const int result = read_expander_status(dev, status);
  const int exit_status = result == 0 ? kExitOk : kExitFailed;
  if (json) {
    json_doc::json doc = json_doc::begin("status", argc, argv);
    doc["status"] = status_json(status);
    return json_doc::finish_document(doc, exit_status);
  }
  print_status(status);
  return finish_text(exit_status);
}
