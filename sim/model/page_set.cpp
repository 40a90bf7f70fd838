#include "model/page_set.h"

#include <cstdio>

#include "common/bytes.h"
#include "common/page_bytes.h"
#include "model/log_pages.h"

namespace sim {

namespace {

constexpr std::size_t kStatusPageSize = 48;
constexpr std::size_t kMaxPageFile = 65535 + 4;
constexpr int kLogPages[] = {0x80, 0x02, 0x0A, 0xF3};

bool read_file(const std::string &path, std::vector<std::uint8_t> &out) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  out.assign(kMaxPageFile, 0);
  const std::size_t n = std::fread(out.data(), 1, out.size(), f);
  std::fclose(f);
  out.resize(n);
  return true;
}

std::string page_file(const std::string &dir, int code) {
  char name[32];
  std::snprintf(name, sizeof name, "/page_%02x.bin", code & 0xFF);
  return dir + name;
}

std::string chunk_file(const std::string &dir, unsigned chunk) {
  char name[40];
  std::snprintf(name, sizeof name, "/page_f4_%u.bin", chunk);
  return dir + name;
}

bool nv_chunk(const std::string &dir, unsigned chunk, std::vector<std::uint8_t> &out) {
  if (!dir.empty()) return read_file(chunk_file(dir, chunk), out);
  return default_log_page(kNvLogPage, chunk, out);
}

bool log_page(const std::string &dir, int code, std::vector<std::uint8_t> &out) {
  if (!dir.empty()) return read_file(page_file(dir, code), out);
  return default_log_page(code, 0, out);
}

std::vector<std::uint8_t> supported_pages(const std::string &dir) {
  std::vector<std::uint8_t> page = {static_cast<std::uint8_t>(kSupportedPagesPage), 0, 0, 0};
  std::vector<std::uint8_t> scratch;
  for (int code = 0; code <= 0xFF; ++code) {
    bool served = code == kSupportedPagesPage || code == kFirmwareStatusPage;
    if (!served) served = code == kNvLogPage ? nv_chunk_count(dir) > 0 : log_page(dir, code, scratch);
    if (served) page.push_back(static_cast<std::uint8_t>(code));
  }
  page_bytes::seal_page_length(page);
  return page;
}

}  // namespace

unsigned nv_chunk_count(const std::string &pages_dir) {
  std::vector<std::uint8_t> scratch;
  unsigned n = 0;
  while (n < 4096 && nv_chunk(pages_dir, n, scratch)) ++n;
  return n;
}

std::vector<std::uint8_t> firmware_status_page(const expander_state &s) {
  std::vector<std::uint8_t> p(kStatusPageSize, 0);
  p[0] = static_cast<std::uint8_t>(kFirmwareStatusPage);
  bytes::put_be16(p, 2, static_cast<std::uint16_t>(kStatusPageSize - 4));
  // The active firmware image, the other one, the active data image, the
  // other one.
  const int other = 1 - s.active_image;
  const int other_data = 1 - s.active_data;
  p[4] = static_cast<std::uint8_t>(s.active_image + 5);
  p[16] = static_cast<std::uint8_t>(other + 5);
  p[32] = static_cast<std::uint8_t>(s.active_data + 1);
  p[44] = static_cast<std::uint8_t>(other_data + 1);
  for (std::size_t i = 0; i < 3; ++i) {
    p[6 + i] = s.image_version[static_cast<std::size_t>(s.active_image)][i];
    p[18 + i] = s.image_version[static_cast<std::size_t>(other)][i];
    p[33 + i] = s.data_version[static_cast<std::size_t>(s.active_data)][i];
    p[45 + i] = s.data_version[static_cast<std::size_t>(other_data)][i];
  }
  return p;
}

bool receive_page(const std::string &pages_dir, const expander_state &s, int code, unsigned chunk,
                  std::vector<std::uint8_t> &out) {
  if (code == kSupportedPagesPage) {
    // A captured page 0x00 is served as the expander sent it.
    if (!pages_dir.empty() && read_file(page_file(pages_dir, code), out)) return true;
    out = supported_pages(pages_dir);
    return true;
  }
  if (code == kFirmwareStatusPage) {
    if (!pages_dir.empty() && read_file(page_file(pages_dir, code), out)) return true;
    out = firmware_status_page(s);
    return true;
  }
  if (code == kNvLogPage) return nv_chunk(pages_dir, chunk, out);
  for (int known : kLogPages) {
    if (code == known) return log_page(pages_dir, code, out);
  }
  // Any other page the directory holds is served as it is.
  return !pages_dir.empty() && read_file(page_file(pages_dir, code), out);
}

}  // namespace sim
