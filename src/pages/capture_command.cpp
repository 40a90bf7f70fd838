// corvane-pages capture: reads an expander's pages with INQUIRY and RECEIVE
// DIAGNOSTIC RESULTS only, each page whole, into a directory laid out as the
// simulated expander's --pages directory, with a manifest of every read.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "logs/logs.h"
#include "pages/capture.h"
#include "pages/json_doc.h"
#include "pages/pages.h"
#include "pages/status.h"
#include "sg/sg.h"
#include "sg/sg_reason.h"

namespace {

constexpr std::size_t kReadSize = kMaxAllocationLength;
constexpr int kPageSupported = 0x00;
constexpr int kPageConfiguration = 0x01;      // read when page 0x00 lists it
constexpr int kPageElementDescriptor = 0x07;  // read when page 0x00 lists it
constexpr int kVpdSerial = 0x80;
constexpr int kVpdDeviceId = 0x83;
constexpr unsigned kMaxNvChunks = 4096;

enum class response { standard_inquiry, vpd, diagnostic };

struct capture_run {
  const char *dir;
  const char *dev;
  std::span<std::uint8_t, kReadSize> buf;
  std::FILE *body;  // the manifest's read lines
  capture_identity id;
  std::array<bool, 256> listed{};  // pages page 0x00 lists
  bool saved_firmware_status = false;
  int saved_log_pages = 0;
  bool write_failed = false;
  json_doc::json reads = json_doc::json::array();  // the read lines for manifest.json

  capture_run(const char *d, const char *v, std::span<std::uint8_t, kReadSize> b, std::FILE *m)
      : dir(d), dev(v), buf(b), body(m) {}
};

// The response's length as it declares it: the standard INQUIRY data by its
// additional length (byte 4), a VPD or diagnostic page by its page length.
std::size_t declared_length(response kind, std::span<const std::uint8_t> buf) {
  return kind == response::standard_inquiry ? std::size_t{bytes::u8(buf, 4)} + 5
                                            : page_header::declared_size(buf);
}

// One read line, in the manifest and in its JSON counterpart.
void record(capture_run &run, const char *what, const char *file, long size, const char *outcome) {
  manifest_read(run.body, what, file, size, outcome);
  json_doc::json read = json_doc::json::object();
  read["read"] = what;
  read["file"] = file != nullptr ? json_doc::json(file) : json_doc::json(nullptr);
  read["bytes"] = file != nullptr ? json_doc::json(size) : json_doc::json(nullptr);
  read["outcome"] = outcome;
  run.reads.push_back(std::move(read));
}

int save(capture_run &run, const char *name, std::span<const std::uint8_t> data) {
  char path[4096] = {};
  sprintf_s(path, sizeof path, "%s/%s", run.dir, name);
  std::FILE *f = std::fopen(path, "wb");
  if (f == nullptr) return -1;
  const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed ? 0 : -1;
}

// Issues one read into the cleared buffer, saves what it brought as name and
// records the read. The bytes saved, or -1.
long read_one(capture_run &run, const char *what, const char *name, response kind, int code) {
  memset_s(run.buf.data(), run.buf.size(), 0, run.buf.size());
  const int result = kind == response::diagnostic ? sg_receive_page(run.dev, code, run.buf)
                     : kind == response::vpd      ? sg_inquiry_cmd(run.dev, code, run.buf)
                                                  : sg_inquiry_cmd(run.dev, -1, run.buf);
  if (result != 0) {
    char reason[kReasonSize] = {};
    char outcome[kReasonSize + 48] = {};
    if (!sg_reason(reason, sizeof reason)) strcpy_s(reason, sizeof reason, "no reason known");
    sprintf_s(outcome, sizeof outcome, "refused or failed: %s; capture goes on", reason);
    pages_warning("%s", reason);
    record(run, what, nullptr, 0, outcome);
    return -1;
  }
  // Only what arrived is saved: the bytes asked for less the residual count.
  const std::size_t arrived = std::min(sg_last_delivered(), run.buf.size());
  const std::size_t declared = declared_length(kind, run.buf.first(arrived));
  const std::size_t size = std::min(declared, arrived);
  if (save(run, name, run.buf.first(size)) != 0) {
    record(run, what, nullptr, 0, "read, but the file could not be written");
    run.write_failed = true;
    return -1;
  }
  char outcome[96] = "saved";
  if (declared > run.buf.size()) {
    sprintf_s(outcome, sizeof outcome, "saved, cut: the page declares %zu bytes", declared);
  } else if (declared > size) {
    sprintf_s(outcome, sizeof outcome, "short: %zu of %zu bytes", size, declared);
    pages_warning("%s/%s: short: %zu of the %zu bytes the page declares arrived", run.dir, name, size,
                  declared);
  }
  record(run, what, name, static_cast<long>(size), outcome);
  return static_cast<long>(size);
}

void read_identity(capture_run &run) {
  const long standard = read_one(run, "inquiry", "inquiry.bin", response::standard_inquiry, 0);
  if (standard > 0) {
    const auto held = run.buf.first(static_cast<std::size_t>(standard));
    text_field(held, 8, 8, run.id.vendor, sizeof run.id.vendor);
    text_field(held, 16, 16, run.id.product, sizeof run.id.product);
    text_field(held, 32, 4, run.id.revision, sizeof run.id.revision);
  }
  const long serial = read_one(run, "vpd 0x80", "vpd_80.bin", response::vpd, kVpdSerial);
  if (serial > 4) {
    text_field(run.buf.first(static_cast<std::size_t>(serial)), 4,
               static_cast<std::size_t>(serial) - 4, run.id.serial, sizeof run.id.serial);
  }
  (void)read_one(run, "vpd 0x83", "vpd_83.bin", response::vpd, kVpdDeviceId);
}

long read_page(capture_run &run, int code) {
  char what[32] = {};
  char name[32] = {};
  sprintf_s(what, sizeof what, "page 0x%02x", code);
  sprintf_s(name, sizeof name, "page_%02x.bin", code);
  return read_one(run, what, name, response::diagnostic, code);
}

void read_supported_pages(capture_run &run) {
  const long size = read_page(run, kPageSupported);
  for (long i = 4; i < size; ++i) run.listed[run.buf[static_cast<std::size_t>(i)]] = true;
}

// The NV crash log chunks, read in turn in this one process until the image
// is complete or a chunk does not continue it (corvane's assembly rules).
void read_nv_chunks(capture_run &run) {
  nv_assembly assembly;
  char outcome[96] = "page 0xf4 not read";
  unsigned chunk = 0;
  for (; chunk < kMaxNvChunks; ++chunk) {
    char what[32] = {};
    char name[32] = {};
    sprintf_s(what, sizeof what, "page 0xf4 chunk %u", chunk);
    sprintf_s(name, sizeof name, "page_f4_%u.bin", chunk);
    const long size = read_one(run, what, name, response::diagnostic, kPageNvLog);
    if (size < 0) {
      if (chunk > 0) sprintf_s(outcome, sizeof outcome, "no complete image: a read failed");
      break;
    }
    const std::size_t held = std::min(static_cast<std::size_t>(size), kReceiveSize);
    const nv_step step = nv_assembly_add(assembly, run.buf.first(held));
    if (step == nv_step::failed) {
      sprintf_s(outcome, sizeof outcome, "no complete image: chunk %u does not continue it", chunk);
      break;
    }
    if (step == nv_step::complete) {
      sprintf_s(outcome, sizeof outcome, "complete image of %u bytes", assembly.size);
      ++run.saved_log_pages;
      break;
    }
  }
  if (chunk == kMaxNvChunks) sprintf_s(outcome, sizeof outcome, "no complete image after %u chunks", chunk);
  record(run, "nv crash log", nullptr, 0, outcome);
}

void read_pages(capture_run &run) {
  read_supported_pages(run);
  // The pages corvane reads, in its order: the firmware status page first.
  run.saved_firmware_status = read_page(run, kPageFirmwareStatus) >= 0;
  for (const log_page &page : kLogPages) {
    if (read_page(run, page.code) >= 0) ++run.saved_log_pages;
  }
  for (int code : {kPageConfiguration, kPageElementDescriptor}) {
    if (run.listed[static_cast<std::size_t>(code)]) (void)read_page(run, code);
  }
  read_nv_chunks(run);
}

// The directory is made, or must be empty: old chunk files would join the
// new ones on replay.
bool prepare_directory(const char *dir) {
  if (mkdir(dir, 0755) == 0) return true;
  if (errno != EEXIST) {
    pages_error("%s: cannot be made: %s", dir, std::strerror(errno));
    return false;
  }
  DIR *d = opendir(dir);
  if (d == nullptr) {
    pages_error("%s: cannot be opened: %s", dir, std::strerror(errno));
    return false;
  }
  bool empty = true;
  while (const dirent *e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
  }
  closedir(d);
  if (!empty) pages_error("%s: not empty; capture into a new directory", dir);
  return empty;
}

void utc_now(char *out, std::size_t room) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (gmtime_r(&now, &tm) == nullptr || std::strftime(out, room, "%Y-%m-%d %H:%M:%S UTC", &tm) == 0) {
    out[0] = '\0';
  }
}

// manifest.json: the manifest's facts as a document of its own.
json_doc::json manifest_json(const capture_run &run, const char *time) {
  json_doc::json manifest = json_doc::json::object();
  manifest["time"] = time;
  manifest["device"] = run.dev;
  auto text = [](const char *t) { return t[0] != '\0' ? json_doc::json(t) : json_doc::json(nullptr); };
  manifest["vendor"] = text(run.id.vendor);
  manifest["product"] = text(run.id.product);
  manifest["revision"] = text(run.id.revision);
  manifest["serial"] = text(run.id.serial);
  manifest["reads"] = run.reads;
  return manifest;
}

int write_manifest_json(const capture_run &run, const json_doc::json &manifest) {
  char path[4096] = {};
  sprintf_s(path, sizeof path, "%s/manifest.json", run.dir);
  std::FILE *f = std::fopen(path, "w");
  if (f == nullptr) return -1;
  json_doc::json doc = json_doc::json::object();
  doc["json_format_version"] = json_doc::json::array({json_doc::kFormatMajor, json_doc::kFormatMinor});
  doc["document"] = "manifest";
  doc["manifest"] = manifest;
  json_doc::dump_to(doc, f);
  const bool written = !std::ferror(f);
  return std::fclose(f) == 0 && written ? 0 : -1;
}

int write_manifest_file(const capture_run &run, const char *time, const char *body, std::size_t size) {
  char path[4096] = {};
  sprintf_s(path, sizeof path, "%s/manifest.txt", run.dir);
  std::FILE *f = std::fopen(path, "w");
  if (f == nullptr) return -1;
  manifest_header(f, time, run.dev, run.id);
  const bool written = std::fwrite(body, 1, size, f) == size && !std::ferror(f);
  return std::fclose(f) == 0 && written ? 0 : -1;
}

// The capture into dir; the exit status. doc receives the manifest.
int capture_into(const char *dir, const char *dev, bool json, json_doc::json &doc) {
  if (!prepare_directory(dir)) return kExitFailed;
  guard::heap<std::uint8_t> buffer(static_cast<std::uint8_t *>(std::malloc(kReadSize)));
  char *body_text = nullptr;
  std::size_t body_size = 0;
  std::FILE *body = open_memstream(&body_text, &body_size);
  if (buffer.value == nullptr || body == nullptr) {
    if (body != nullptr) std::fclose(body);
    std::free(body_text);
    pages_error("no memory for the capture");
    return kExitFailed;
  }
  char time[40] = {};
  utc_now(time, sizeof time);
  capture_run run(dir, dev, std::span<std::uint8_t, kReadSize>(buffer.value, kReadSize), body);
  read_identity(run);
  read_pages(run);
  std::fclose(body);
  guard::heap<char> text(body_text);
  doc["manifest"] = manifest_json(run, time);
  int manifest = write_manifest_file(run, time, body_text, body_size);
  if (json && write_manifest_json(run, doc["manifest"]) != 0) manifest = -1;

  if (manifest != 0 || run.write_failed) {
    pages_error("%s: the capture could not be written completely", dir);
    return kExitFailed;
  }
  if (!run.saved_firmware_status) {
    pages_error("%s: the firmware status page (0x82) could not be read", dev);
    return kExitFailed;
  }
  if (run.saved_log_pages == 0) {
    pages_error("%s: no log page (%s, 0xF4) could be read", dev, kLogPageCodesText.data());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int capture_command(const char *dir, const char *dev, const run_args &args) {
  json_doc::json doc = json_doc::begin("capture", args.argc, args.argv);
  doc["directory"] = dir;
  doc["manifest"] = nullptr;
  const int status = capture_into(dir, dev, args.json, doc);
  return args.json ? json_doc::finish_document(doc, status) : finish_text(status);
}
