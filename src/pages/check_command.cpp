// corvane-pages check: before a download, whether it can and should happen.
// Reads the expander (identity and firmware status; nothing is sent that
// changes it) and the image (a regular, non-empty file; firmware or
// configuration by its signature; size, pieces, SHA-256), and with --expect
// says whether the expander already runs that version.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/guards.h"
#include "pages/check_verify.h"
#include "pages/json_doc.h"
#include "pages/pages.h"
#include "pages/sha256.h"
#include "pages/status.h"
#include "sg/download_piece.h"
#include "sg/sg_reason.h"

namespace {

// Offsets travel in a 32-bit field of the piece.
constexpr std::uint64_t kMaxImage = std::uint64_t{1} << 32;
constexpr std::size_t kReadChunk = 64 * 1024;

struct image_facts {
  std::uint64_t size = 0;
  std::uint64_t pieces = 0;
  bool firmware = false;
  std::array<char, 65> digest{};
};

// Reads the image whole, opened without blocking (a FIFO or a device never
// hangs the check). 0, or -1 with the reason in why.
int read_image(const char *file, image_facts &facts, std::span<char, kReasonSize> why) {
  std::array<char, kWhySize> opened{};
  guard::fd fd(open_regular_file(AT_FDCWD, file, true, kMaxImage, opened));
  if (fd.value < 0) {
    std::snprintf(why.data(), why.size(), "%s: %s", file, opened.data());
    return -1;
  }
  guard::heap<std::uint8_t> block(static_cast<std::uint8_t *>(std::malloc(kReadChunk)));
  if (block.value == nullptr) {
    std::snprintf(why.data(), why.size(), "%s: no memory to read it", file);
    return -1;
  }
  const std::span<std::uint8_t, kReadChunk> buffer(block.value, kReadChunk);
  std::array<std::uint8_t, 4> head{};
  sha256_state sha;
  sha256_init(sha);
  for (;;) {
    const ssize_t n = ::read(fd.value, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      std::snprintf(why.data(), why.size(), "%s: cannot be read: %s", file, std::strerror(errno));
      return -1;
    }
    if (n == 0) break;
    const std::span<const std::uint8_t> got = buffer.first(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < got.size() && facts.size + i < head.size(); ++i) head[facts.size + i] = got[i];
    sha256_update(sha, got);
    facts.size += got.size();
    if (facts.size > kMaxImage) break;
  }
  if (facts.size == 0) {
    std::snprintf(why.data(), why.size(), "%s: empty: nothing to send", file);
    return -1;
  }
  if (facts.size > kMaxImage) {
    std::snprintf(why.data(), why.size(), "%s: larger than the 32-bit piece offset addresses", file);
    return -1;
  }
  if (facts.size < head.size()) {
    std::snprintf(why.data(), why.size(), "%s: %llu bytes, too short to tell firmware from configuration", file,
                  static_cast<unsigned long long>(facts.size));
    return -1;
  }
  facts.firmware = download_piece::has_firmware_signature(head);
  facts.pieces = (facts.size + download_piece::kPieceSize - 1) / download_piece::kPieceSize;
  sha256_hex(sha256_final(sha), facts.digest);
  return 0;
}

// The active image of the kind: the first entry, when the page reported it.
const image_entry *active_of(const expander_status &s, bool firmware) {
  const image_entry &e = firmware ? s.images.firmware[0] : s.images.data[0];
  return s.firmware_read && e.reported && e.active ? &e : nullptr;
}

void print_text(const expander_status &s, const char *file, const image_facts *facts, const char *expect) {
  const expander_identity &id = s.identity;
  std::printf("device:        %s\n", s.device);
  if (s.firmware_read) {
    std::printf("serial:        %s\n", s.serial_read ? id.serial : "(unknown)");
    const std::string designator = json_doc::hex_string(id.designator.data(), id.designator_size);
    std::printf("designator:    %s\n", id.designator_size > 0 ? designator.c_str() : "(unknown)");
    for (const image_entry &e : s.images.firmware) {
      if (e.reported) std::printf("%-15simage%d %s\n", e.active ? "active image:" : "other image:", e.number,
                                  e.version.data());
    }
    for (const image_entry &e : s.images.data) {
      if (e.reported) std::printf("%-15sdata%d %s\n", e.active ? "active data:" : "other data:", e.number,
                                  e.version.data());
    }
  }
  if (facts != nullptr) {
    std::printf("image:         %s\n", file);
    std::printf("image kind:    %s\n", facts->firmware ? "firmware" : "configuration");
    std::printf("image size:    %llu bytes, %llu pieces\n", static_cast<unsigned long long>(facts->size),
                static_cast<unsigned long long>(facts->pieces));
    std::printf("image sha256:  %s\n", facts->digest.data());
  }
  if (expect != nullptr) std::printf("expect:        %s\n", expect);
}

struct check_result {
  int exit_status = kExitOk;
  const char *outcome = "change";
  std::array<char, kReasonSize> reason{};
};

// What the check concludes from the expander's answer and the image.
check_result conclude(const char *dev, const char *expect, const image_entry *active, const char *kind) {
  check_result r;
  if (active == nullptr) {
    r.exit_status = kExitCheckRefused;
    r.outcome = "refused";
    std::snprintf(r.reason.data(), r.reason.size(), "%s: the firmware status page names no active %s", dev, kind);
    pages_error("check: refused: %s", r.reason.data());
  } else if (expect != nullptr && std::strcmp(active->version.data(), expect) == 0) {
    r.exit_status = kExitCheckNothingToDo;
    r.outcome = "nothing_to_do";
    std::snprintf(r.reason.data(), r.reason.size(), "the active %s is %s already", kind, expect);
  } else if (expect != nullptr) {
    std::snprintf(r.reason.data(), r.reason.size(), "the active %s is %s, not %s", kind, active->version.data(),
                  expect);
  } else {
    std::snprintf(r.reason.data(), r.reason.size(), "the active %s is %s", kind, active->version.data());
  }
  return r;
}

int finish_json(const expander_status &status, const char *file, const image_facts *facts, const char *expect,
                const check_result &r, const run_args &run) {
  json_doc::json doc = json_doc::begin("check", run.argc, run.argv);
  doc["status"] = status_json(status);
  if (facts != nullptr) {
    doc["image"] = {{"path", file},
                    {"kind", facts->firmware ? "firmware" : "configuration"},
                    {"size", facts->size},
                    {"pieces", facts->pieces},
                    {"sha256", facts->digest.data()}};
  } else {
    doc["image"] = nullptr;
  }
  doc["expect"] = expect != nullptr ? json_doc::json(expect) : json_doc::json(nullptr);
  doc["result"] = {{"outcome", r.outcome}, {"reason", r.reason.data()}};
  return json_doc::finish_document(doc, r.exit_status);
}

void print_result(const check_result &r) {
  if (r.exit_status == kExitCheckRefused) {
    std::printf("result:        refused: %s\n", r.reason.data());
  } else if (r.exit_status == kExitCheckNothingToDo) {
    std::printf("result:        nothing to do: %s\n", r.reason.data());
  } else {
    std::printf("result:        the download would change the expander: %s\n", r.reason.data());
  }
}

}  // namespace

int check_command(const char *file, const char *dev, const char *expect, const run_args &run) {
  expander_status status;
  const bool answered = read_expander_status(dev, status) == 0;
  std::array<char, kReasonSize> device_why{};
  if (!answered && !sg_reason(device_why.data(), device_why.size())) {
    std::snprintf(device_why.data(), device_why.size(), "%s: the firmware status page (0x82) could not be read",
                  dev);
  }
  image_facts facts;
  std::array<char, kReasonSize> image_why{};
  const bool image_ok = read_image(file, facts, image_why) == 0;

  check_result result;
  if (!answered || !image_ok) {
    result.exit_status = kExitCheckRefused;
    result.outcome = "refused";
    std::snprintf(result.reason.data(), result.reason.size(), "%s", !answered ? device_why.data() : image_why.data());
    pages_error("check: refused: %s", result.reason.data());
  } else {
    const char *kind = facts.firmware ? "firmware image" : "data image";
    result = conclude(dev, expect, active_of(status, facts.firmware), kind);
  }

  if (run.json) return finish_json(status, file, image_ok ? &facts : nullptr, expect, result, run);
  print_text(status, file, image_ok ? &facts : nullptr, expect);
  print_result(result);
  // A failed write must not read as "nothing to do".
  return finish_text(kExitOk) != kExitOk ? kExitCheckError : result.exit_status;
}

bool valid_version(const char *text) {
  if (text == nullptr || std::strlen(text) != 3) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    if (text[i] <= 0x20 || text[i] >= 0x7F) return false;
  }
  return true;
}
