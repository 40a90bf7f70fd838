// corvane-pages check: before a download, whether it can and should happen.
// Reads the expander (identity and firmware status, nothing sent that
// changes it) and the image (a regular, non-empty file; firmware or
// configuration by its signature; size, pieces, SHA-256), and with --expect
// says whether the expander already runs that version. Also the reading of
// the expander that verify polls.
#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "pages/expander_reading.h"
#include "pages/pages.h"
#include "pages/sha256.h"
#include "sg/download_piece.h"
#include "sg/sg.h"
#include "sg/sg_reason.h"

namespace {

constexpr std::size_t kStatusSize = 2048;
// Bytes of page 0x82 the reading uses: up to the active data version.
constexpr std::size_t kStatusUsed = 36;
constexpr std::size_t kVpdSize = 252;
constexpr int kVpdSerial = 0x80;
constexpr int kVpdDeviceId = 0x83;
// Offsets travel in a 32-bit field of the piece.
constexpr std::uint64_t kMaxImage = std::uint64_t{1} << 32;
constexpr std::size_t kReadChunk = 64 * 1024;

void copy_text(std::span<char> to, const char *from) { std::snprintf(to.data(), to.size(), "%s", from); }

// The unit serial number, printable characters only.
void read_serial(const char *dev, expander_reading &r) {
  std::array<std::uint8_t, kVpdSize> vpd{};
  if (sg_inquiry_cmd(dev, kVpdSerial, vpd) != 0 || vpd[1] != kVpdSerial) return;
  const std::size_t n = std::min<std::size_t>(bytes::be16(vpd, 2), vpd.size() - 4);
  std::size_t at = 0;
  for (std::size_t i = 0; i < n && at + 1 < r.serial.size(); ++i) {
    const std::uint8_t c = bytes::u8(vpd, 4 + i);
    if (c > 0x20 && c < 0x7F) r.serial[at++] = static_cast<char>(c);
  }
  r.serial[at] = '\0';
}

// The first designator of the device identification page, in hex.
void read_designator(const char *dev, expander_reading &r) {
  std::array<std::uint8_t, kVpdSize> vpd{};
  if (sg_inquiry_cmd(dev, kVpdDeviceId, vpd) != 0 || vpd[1] != kVpdDeviceId) return;
  const std::span<const std::uint8_t> page(vpd);
  const std::size_t page_end = std::min<std::size_t>(std::size_t{bytes::be16(page, 2)} + 4, page.size());
  const std::size_t len = bytes::u8(page, 7);
  if (page_end < 8 || len == 0 || 8 + len > page_end) return;
  static const char digits[] = "0123456789abcdef";
  std::size_t at = 0;
  for (std::size_t i = 0; i < len && at + 2 < r.designator.size(); ++i) {
    const std::uint8_t b = bytes::u8(page, 8 + i);
    r.designator[at++] = digits[b >> 4];
    r.designator[at++] = digits[b & 0x0F];
  }
  r.designator[at] = '\0';
}

void version_at(std::span<const std::uint8_t> page, std::size_t off, std::span<char, 4> out) {
  for (std::size_t i = 0; i < 3; ++i) out[i] = static_cast<char>(bytes::u8(page, off + i));
  out[3] = '\0';
}

}  // namespace

bool read_expander(const char *dev, expander_reading &r) {
  r = expander_reading{};
  guard::heap<std::uint8_t> block(static_cast<std::uint8_t *>(std::calloc(kStatusSize, 1)));
  if (block.value == nullptr) {
    copy_text(r.why, "out of memory");
    return false;
  }
  const std::span<std::uint8_t> page(block.value, kStatusSize);
  if (sg_receive_page(dev, kPageFirmwareStatus, page) != 0) {
    if (!sg_reason(r.why.data(), r.why.size())) copy_text(r.why, "the firmware status page could not be read");
    return false;
  }
  // A page cut short leaves zeros, which no version matches.
  if (bytes::u8(page, 0) != kPageFirmwareStatus || std::size_t{bytes::be16(page, 2)} + 4 < kStatusUsed) {
    std::snprintf(r.why.data(), r.why.size(), "%s: the firmware status page (0x82) is not whole: code 0x%02x, "
                  "length %u", dev, bytes::u8(page, 0), bytes::be16(page, 2));
    return false;
  }
  r.active_image = int{bytes::u8(page, 4)} - 5;
  version_at(page, 6, r.image_version);
  r.other_image = int{bytes::u8(page, 16)} - 5;
  version_at(page, 18, r.other_version);
  r.active_data = int{bytes::u8(page, 32)} - 1;
  version_at(page, 33, r.data_version);
  read_serial(dev, r);
  read_designator(dev, r);
  r.answered = true;
  return true;
}

bool valid_version(const char *text) {
  if (text == nullptr || std::strlen(text) != 3) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    if (text[i] <= 0x20 || text[i] >= 0x7F) return false;
  }
  return true;
}

void print_reading(const expander_reading &r) {
  std::printf("serial:        %s\n", r.serial[0] != '\0' ? r.serial.data() : "(not given)");
  std::printf("designator:    %s\n", r.designator[0] != '\0' ? r.designator.data() : "(not given)");
  std::printf("active image:  image%d %s\n", r.active_image, r.image_version.data());
  std::printf("other image:   image%d %s\n", r.other_image, r.other_version.data());
  std::printf("active data:   data%d %s\n", r.active_data, r.data_version.data());
}

namespace {

struct image_facts {
  std::uint64_t size = 0;
  bool firmware = false;
  std::array<char, 65> digest{};
};

// Opens the image without blocking (a FIFO or a device never hangs the
// check) and reads it whole. 0, or -1 with the reason in why.
int read_image(const char *file, image_facts &facts, std::span<char> why) {
  guard::fd fd(::open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.value < 0) {
    std::snprintf(why.data(), why.size(), "%s: cannot be opened: %s", file, std::strerror(errno));
    return -1;
  }
  struct stat st {};
  if (::fstat(fd.value, &st) != 0 || !S_ISREG(st.st_mode)) {
    std::snprintf(why.data(), why.size(), "%s: not a regular file", file);
    return -1;
  }
  if (st.st_size == 0) {
    std::snprintf(why.data(), why.size(), "%s: empty: nothing to send", file);
    return -1;
  }
  if (static_cast<std::uint64_t>(st.st_size) > kMaxImage) {
    std::snprintf(why.data(), why.size(), "%s: %lld bytes, more than the 32-bit piece offset addresses", file,
                  static_cast<long long>(st.st_size));
    return -1;
  }
  guard::heap<std::uint8_t> block(static_cast<std::uint8_t *>(std::malloc(kReadChunk)));
  if (block.value == nullptr) {
    std::snprintf(why.data(), why.size(), "%s: out of memory", file);
    return -1;
  }
  std::array<std::uint8_t, 4> head{};
  sha256_state sha;
  sha256_init(sha);
  for (;;) {
    const ssize_t n = ::read(fd.value, block.value, kReadChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      std::snprintf(why.data(), why.size(), "%s: cannot be read: %s", file, std::strerror(errno));
      return -1;
    }
    if (n == 0) break;
    const auto got = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < got && facts.size + i < head.size(); ++i) head[facts.size + i] = block.value[i];
    sha256_update(sha, {block.value, got});
    facts.size += got;
  }
  if (facts.size != static_cast<std::uint64_t>(st.st_size)) {
    std::snprintf(why.data(), why.size(), "%s: changed while it was read (%llu of %lld bytes)", file,
                  static_cast<unsigned long long>(facts.size), static_cast<long long>(st.st_size));
    return -1;
  }
  if (facts.size < download_piece::kFirmwareSignature.size()) {
    std::snprintf(why.data(), why.size(), "%s: %llu bytes, too short to tell firmware from configuration", file,
                  static_cast<unsigned long long>(facts.size));
    return -1;
  }
  facts.firmware = head == download_piece::kFirmwareSignature;
  sha256_hex(sha256_final(sha), facts.digest);
  return 0;
}

constexpr char kCheckUsage[] = "usage: corvane-pages check IMAGE DEVICE [--expect VERSION]\n";

// Usage errors exit 1 here: 2 says "nothing to do".
int check_usage(const char *why) {
  std::fprintf(stderr, "corvane-pages: check: %s\n%s", why, kCheckUsage);
  return kExitCheckError;
}

int refuse(const char *why) {
  std::printf("result:        refused: %s\n", why);
  std::fprintf(stderr, "corvane-pages: check: refused: %s\n", why);
  return kExitCheckRefused;
}

}  // namespace

int check_command(int argc, char **argv) {
  static constexpr struct option kOptions[] = {{"expect", required_argument, nullptr, 'e'},
                                               {nullptr, 0, nullptr, 0}};
  const char *expect = nullptr;
  opterr = 0;
  optind = 1;
  int c = 0;
  while ((c = getopt_long(argc, argv, ":", kOptions, nullptr)) != -1) {
    if (c == 'e') {
      expect = optarg;
    } else {
      return check_usage(c == ':' ? "--expect needs a VERSION" : "unknown option");
    }
  }
  if (argc - optind != 2) return check_usage("an IMAGE and a DEVICE");
  if (expect != nullptr && !valid_version(expect)) return check_usage("VERSION is three printable characters");
  const char *file = argv[optind];
  const char *dev = argv[optind + 1];

  // The reason a read failed is given once, with the refusal.
  std::FILE *const reasons = g_sg_reason_stream;
  g_sg_reason_stream = nullptr;
  expander_reading r;
  const bool answered = read_expander(dev, r);
  g_sg_reason_stream = reasons;
  std::printf("device:        %s\n", dev);
  if (answered) print_reading(r);
  image_facts facts;
  std::array<char, kWhySize> why{};
  const int image_ok = read_image(file, facts, why);
  if (image_ok == 0) {
    const std::uint64_t pieces = (facts.size + download_piece::kPieceSize - 1) / download_piece::kPieceSize;
    std::printf("image:         %s\n", file);
    std::printf("image kind:    %s\n", facts.firmware ? "firmware" : "configuration");
    std::printf("image size:    %llu bytes, %llu pieces\n", static_cast<unsigned long long>(facts.size),
                static_cast<unsigned long long>(pieces));
    std::printf("image sha256:  %s\n", facts.digest.data());
  }
  if (expect != nullptr) std::printf("expect:        %s\n", expect);
  if (!answered) return refuse(r.why.data());
  if (image_ok != 0) return refuse(why.data());
  const char *running = facts.firmware ? r.image_version.data() : r.data_version.data();
  const char *kind = facts.firmware ? "firmware image" : "data image";
  if (expect != nullptr && std::strcmp(running, expect) == 0) {
    std::printf("result:        nothing to do: the active %s is %s already\n", kind, expect);
    return kExitCheckNothingToDo;
  }
  if (expect != nullptr) {
    std::printf("result:        the download would change the expander: the active %s is %s, not %s\n", kind,
                running, expect);
  } else {
    std::printf("result:        the download would change the expander: the active %s is %s\n", kind, running);
  }
  return kExitOk;
}
