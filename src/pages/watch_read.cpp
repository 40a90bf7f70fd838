// Reading an expander for watching: identity through INQUIRY, the firmware
// status, enclosure status, PHY status and RAM log pages, each read once,
// parsed into plain values with bounded readers.
#include <dirent.h>
#include <getopt.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "common/bytes.h"
#include "common/page_codes.h"
#include "pages/pages.h"
#include "pages/status.h"
#include "pages/watch.h"
#include "sg/sg.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

namespace {

using byte_span = std::span<const std::uint8_t>;

constexpr int kVpdSerial = 0x80;
constexpr int kVpdDeviceId = 0x83;
constexpr std::size_t kRamLogHeader = 32;
constexpr std::size_t kRecordSize = 32;
constexpr std::size_t kSssfRecord = 8;
constexpr std::uint8_t kSesDeviceType = 13;

// The bytes of a diagnostic or VPD page that it declares and that arrived.
byte_span declared_page(byte_span d) {
  const std::size_t declared = std::size_t{bytes::be16(d, 2)} + 4;
  return d.first(std::min(declared, d.size()));
}

// Printable text of n bytes from off, trailing blanks and NULs off.
std::string text_field(byte_span d, std::size_t off, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n && bytes::fits(d, off + i, 1); ++i) {
    const std::uint8_t c = d[off + i];
    out.push_back(c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : c == 0 ? ' ' : '.');
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  std::size_t lead = 0;
  while (lead < out.size() && out[lead] == ' ') ++lead;
  return out.substr(lead);
}

double now_seconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

// One read into a buffer of the largest allocation length.
struct reader {
  const char *dev;
  watch_snapshot &s;
  std::vector<std::uint8_t> buf = std::vector<std::uint8_t>(kMaxAllocationLength, 0);

  // The response, or an empty span with why.
  byte_span read(bool vpd, int code, const char *what, std::string &why) {
    std::fill(buf.begin(), buf.end(), 0);
    ++s.requests;
    const int r = vpd ? sg_inquiry_cmd(dev, code, buf) : sg_receive_page(dev, code, buf);
    if (r != 0) {
      why = std::string(what) + " could not be read";
      return {};
    }
    return buf;
  }
};

}  // namespace

bool parse_standard_inquiry(byte_span d, watch_identity &id, std::string &why) {
  const std::size_t declared = std::size_t{bytes::u8(d, 4)} + 5;
  if (d.size() < 36 || declared < 36) {
    why = "standard INQUIRY data too short";
    return false;
  }
  id.vendor = text_field(d, 8, 8);
  id.product = text_field(d, 16, 16);
  id.revision = text_field(d, 32, 4);
  return true;
}

bool parse_unit_serial(byte_span d, watch_identity &id, std::string &why) {
  const byte_span page = declared_page(d);
  if (bytes::u8(d, 1) != kVpdSerial || page.size() <= 4) {
    why = "no unit serial number (VPD page 0x80)";
    return false;
  }
  id.serial = text_field(page, 4, page.size() - 4);
  if (id.serial.empty()) {
    why = "empty unit serial number (VPD page 0x80)";
    return false;
  }
  return true;
}

// The first NAA designator of the logical unit (association 0), as
// "naa." and its hex digits.
bool parse_device_id(byte_span d, watch_identity &id, std::string &why) {
  const byte_span page = declared_page(d);
  if (bytes::u8(d, 1) != kVpdDeviceId) {
    why = "no device identification (VPD page 0x83)";
    return false;
  }
  std::size_t off = 4;
  while (bytes::fits(page, off, 4)) {
    const std::size_t len = bytes::u8(page, off + 3);
    if (!bytes::fits(page, off + 4, len)) break;
    const std::uint8_t type = bytes::u8(page, off + 1) & 0x0F;
    const std::uint8_t association = (bytes::u8(page, off + 1) >> 4) & 0x03;
    const std::uint8_t code_set = bytes::u8(page, off) & 0x0F;
    if (type == 3 && association == 0 && code_set == 1 && len >= 8 && len <= 16) {
      std::string hex = "naa.";
      for (std::size_t i = 0; i < len; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", page[off + 4 + i]);
        hex += two;
      }
      id.id = hex;
      return true;
    }
    off += 4 + len;
  }
  why = "no NAA designator in VPD page 0x83";
  return false;
}

bool parse_firmware_status(byte_span d, std::vector<watch_image> &out, std::string &why) {
  const byte_span page = declared_page(d);
  if (bytes::u8(d, 0) != kPageFirmwareStatus || page.size() < 36) {
    why = "firmware status page (0x82) too short";
    return false;
  }
  const firmware_images images = parse_firmware_images(page);
  out.clear();
  const auto add = [&](const char *kind, const image_entry &e) {
    if (!e.reported) return;
    out.push_back({kind, e.number, text_field(std::span<const std::uint8_t>(
                                                  reinterpret_cast<const std::uint8_t *>(e.version.data()), 3),
                                              0, 3),
                   e.active});
  };
  for (const image_entry &e : images.firmware) add("firmware", e);
  for (const image_entry &e : images.data) add("data", e);
  return true;
}

bool parse_enclosure_status(byte_span d, std::vector<watch_element> &out, std::string &why) {
  const byte_span page = declared_page(d);
  if (bytes::u8(d, 0) != kPageEnclosureStatus || page.size() < 12) {
    why = "enclosure status page (0x02) too short";
    return false;
  }
  out.clear();
  for (std::size_t off = 8; bytes::fits(page, off, 4); off += 4) {
    const std::uint8_t b0 = page[off];
    const int index = off == 8 ? -1 : static_cast<int>((off - 12) / 4);
    out.push_back({index, static_cast<std::uint8_t>(b0 & 0x0F), (b0 & 0x40) != 0});
  }
  return true;
}

bool parse_sssf_status(byte_span d, std::vector<watch_phy> &out, std::string &why) {
  const byte_span page = declared_page(d);
  if (bytes::u8(d, 0) != kPageSssf || page.size() < 4) {
    why = "PHY status page (0xF3) too short";
    return false;
  }
  out.clear();
  for (std::size_t off = 4; bytes::fits(page, off, kSssfRecord); off += kSssfRecord) {
    watch_phy p;
    p.phy_id = page[off] & 0x7F;
    p.sxl_rate = page[off + 1] >> 4;
    p.sspl_rate = page[off + 1] & 0x0F;
    p.emip_err = (page[off + 4] & 0x01) != 0;
    p.sxl_err = (page[off + 4] & 0x02) != 0;
    p.sssf_err = (page[off + 4] & 0x04) != 0;
    out.push_back(p);
  }
  return true;
}

bool parse_ram_log(byte_span d, std::vector<watch_event> &out, std::string &why) {
  const byte_span page = declared_page(d);
  if (bytes::u8(d, 0) != kPageRamLog || bytes::be16(d, 2) == 0 || page.size() < kRamLogHeader) {
    why = "RAM log page (0x80) too short";
    return false;
  }
  const std::size_t record_bytes = bytes::be16(page, 18) / kRecordSize * kRecordSize;
  if (!bytes::fits(page, kRamLogHeader, record_bytes)) {
    why = "RAM log page (0x80) declares more records than it holds";
    return false;
  }
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < record_bytes; ++i) sum += page[kRamLogHeader + i];
  if (sum != bytes::be32(page, 20)) {
    why = "RAM log page (0x80) checksum does not match";
    return false;
  }
  out.clear();
  for (std::size_t off = kRamLogHeader; off < kRamLogHeader + record_bytes; off += kRecordSize) {
    watch_event e;
    for (std::size_t w = 0; w < e.words.size(); ++w) e.words[w] = bytes::be32(page, off + 4 * w);
    out.push_back(e);
  }
  return true;
}

bool watch_read_identity(const char *dev, watch_snapshot &s, const std::set<std::string> *known) {
  reader r{dev, s};
  s.identity_read = {};
  std::string why;
  const byte_span id83 = r.read(true, kVpdDeviceId, "VPD page 0x83", why);
  const bool have_naa = !id83.empty() && parse_device_id(id83, s.identity, why);
  if (have_naa && known != nullptr && known->count(s.identity.id) != 0) {
    s.identity_read.ok = true;  // another path to an expander already read
    return true;
  }
  std::string serial_why;
  const byte_span id80 = r.read(true, kVpdSerial, "VPD page 0x80", serial_why);
  const bool have_serial = !id80.empty() && parse_unit_serial(id80, s.identity, serial_why);
  if (!have_naa && !have_serial) {
    s.identity_read.why = why + "; " + serial_why;
    return false;
  }
  if (!have_naa) s.identity.id = "serial." + s.identity.serial;
  std::string inquiry_why;
  const byte_span standard = r.read(true, -1, "standard INQUIRY data", inquiry_why);
  if (standard.empty() || !parse_standard_inquiry(standard, s.identity, inquiry_why)) {
    s.identity_read.why = inquiry_why;
    return false;
  }
  s.identity_read.ok = true;
  return true;
}

void watch_read_pages(const char *dev, unsigned need, watch_snapshot &s) {
  reader r{dev, s};
  const auto one = [&](unsigned bit, int code, const char *what, watch_part &part, auto parse) {
    if ((need & bit) == 0) return;
    part = {};
    const byte_span d = r.read(false, code, what, part.why);
    if (!d.empty()) part.ok = parse(d, part.why);
  };
  one(need_images, kPageFirmwareStatus, "page 0x82", s.images_read,
      [&](byte_span d, std::string &why) { return parse_firmware_status(d, s.images, why); });
  one(need_elements, kPageEnclosureStatus, "page 0x02", s.elements_read,
      [&](byte_span d, std::string &why) { return parse_enclosure_status(d, s.elements, why); });
  one(need_phys, kPageSssf, "page 0xF3", s.phys_read,
      [&](byte_span d, std::string &why) { return parse_sssf_status(d, s.phys, why); });
  one(need_events, kPageRamLog, "page 0x80", s.events_read,
      [&](byte_span d, std::string &why) { return parse_ram_log(d, s.events, why); });
}

void watch_collect(const std::vector<std::string> &devices, unsigned need,
                   std::vector<watch_snapshot> &out, std::vector<watch_unreadable> &unreadable) {
  std::map<std::string, watch_snapshot> by_id;
  std::set<std::string> known;
  for (const std::string &dev : devices) {
    watch_snapshot s;
    s.started = now_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!watch_read_identity(dev.c_str(), s, &known)) {
      unreadable.push_back({dev, s.identity_read.why});
      continue;
    }
    const auto seen = by_id.find(s.identity.id);
    if (seen != by_id.end()) {
      seen->second.devices.push_back(dev);
      seen->second.requests += s.requests;
      continue;
    }
    s.devices.push_back(dev);
    known.insert(s.identity.id);
    watch_read_pages(dev.c_str(), need, s);
    s.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    by_id.emplace(s.identity.id, std::move(s));
  }
  for (auto &entry : by_id) out.push_back(std::move(entry.second));
}

std::vector<std::string> watch_ses_nodes(const char *sysfs_root) {
  std::vector<std::pair<long, std::string>> found;
  const std::string base = std::string(sysfs_root) + "/class/scsi_generic";
  DIR *dir = opendir(base.c_str());
  if (dir == nullptr) return {};
  while (const dirent *e = readdir(dir)) {
    if (std::strncmp(e->d_name, "sg", 2) != 0) continue;
    char *end = nullptr;
    const long n = std::strtol(e->d_name + 2, &end, 10);
    if (end == e->d_name + 2 || *end != '\0' || n < 0) continue;
    const std::string type_path = base + "/" + e->d_name + "/device/type";
    std::FILE *f = std::fopen(type_path.c_str(), "r");
    if (f == nullptr) continue;
    int type = -1;
    const bool read = std::fscanf(f, "%d", &type) == 1;
    std::fclose(f);
    if (read && type == kSesDeviceType) found.emplace_back(n, std::string("/dev/") + e->d_name);
  }
  closedir(dir);
  std::sort(found.begin(), found.end());
  std::vector<std::string> out;
  for (auto &f : found) out.push_back(f.second);
  return out;
}

namespace {
constexpr const char *kStatusNames[] = {"Unsupported", "OK",      "Critical",
                                        "Noncritical", "Unrecoverable", "Not installed",
                                        "Unknown",     "Not available", "No access allowed"};
constexpr const char *kStatusLabels[] = {"unsupported",   "ok",      "critical",
                                         "noncritical",   "unrecoverable", "not_installed",
                                         "unknown",       "not_available", "no_access"};
constexpr const char *kSeverityLabels[] = {"disables_logging", "critical_error", "error", "warning",
                                           "info",             "debugging",      "reserved"};
}  // namespace

const char *element_status_name(std::uint8_t code) {
  return code < std::size(kStatusNames) ? kStatusNames[code] : "reserved";
}

const char *element_status_label(std::uint8_t code) {
  return code < std::size(kStatusLabels) ? kStatusLabels[code] : "reserved";
}

const char *severity_label(int level) {
  return level >= 0 && static_cast<std::size_t>(level) < std::size(kSeverityLabels)
             ? kSeverityLabels[level]
             : "other";
}

int watch_options(int argc, char **argv, const char *usage, int usage_status,
                  std::span<const watch_option> options, watch_args &args) {
  constexpr int kHelp = 'h', kVersion = 'V';
  std::array<option, 7> table{};
  std::size_t n = 0;
  for (; n < options.size() && n < args.values.size(); ++n) {
    table[n] = {options[n].name, options[n].takes_value ? required_argument : no_argument, nullptr,
                static_cast<int>(1000 + n)};
  }
  table[n++] = {"help", no_argument, nullptr, kHelp};
  table[n++] = {"version", no_argument, nullptr, kVersion};
  optind = 1;
  opterr = 0;
  int c = 0;
  while ((c = getopt_long(argc, argv, "hV", table.data(), nullptr)) != -1) {
    if (c == kHelp) {
      std::fputs(usage, stdout);
      return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    }
    if (c == kVersion) {
      std::fputs("corvane-pages " CORVANE_VERSION "\n", stdout);
      return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    }
    if (c >= 1000 && static_cast<std::size_t>(c - 1000) < options.size()) {
      args.values[static_cast<std::size_t>(c - 1000)].push_back(optarg != nullptr ? optarg : "");
      continue;
    }
    std::fprintf(stderr, "corvane-pages: %s: unknown option, or its value is missing\n", argv[optind - 1]);
    std::fputs(usage, stderr);
    return usage_status;
  }
  for (int i = optind; i < argc; ++i) args.operands.emplace_back(argv[i]);
  return -1;
}
