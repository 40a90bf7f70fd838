// corvane-pages image: what corvane download= would do with an image file,
// without a device: firmware or not, size, the pieces and their lengths, and
// the image's SHA-256.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/guards.h"
#include "pages/pages.h"
#include "pages/sha256.h"
#include "sg/download_piece.h"

namespace {

using namespace download_piece;

constexpr std::size_t kReadChunk = 64 * 1024;
// Offsets travel in a 32-bit field of the piece.
constexpr std::uint64_t kMaxOffsetImage = std::uint64_t{1} << 32;

struct image_facts {
  std::uint64_t size = 0;
  std::array<std::uint8_t, 4> head{};
  std::array<std::uint8_t, 32> digest{};
};

// Reads the whole file once: size, first bytes and digest. 0 or errno.
int scan(std::FILE *f, image_facts &facts) {
  guard::heap<std::uint8_t> block(static_cast<std::uint8_t *>(std::malloc(kReadChunk)));
  if (block.value == nullptr) return ENOMEM;
  const std::span<std::uint8_t, kReadChunk> buffer(block.value, kReadChunk);
  sha256_state sha;
  sha256_init(sha);
  for (;;) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
    for (std::size_t i = 0; i < n && facts.size + i < facts.head.size(); ++i) {
      facts.head[facts.size + i] = buffer[i];
    }
    sha256_update(sha, {buffer.data(), n});
    facts.size += n;
    if (n < buffer.size()) break;
  }
  if (std::ferror(f)) return errno != 0 ? errno : EIO;
  facts.digest = sha256_final(sha);
  return 0;
}

// The firmware test corvane makes on the first piece: its first four bytes.
bool is_firmware(const image_facts &facts) {
  return facts.size >= facts.head.size() && has_firmware_signature(facts.head);
}

void print_pieces(std::uint64_t size) {
  std::printf("%8s %10s  %10s %12s %12s\n", "piece", "offset", "offset hex", "page length",
              "list length");
  std::uint64_t piece = 0;
  for (std::uint64_t at = 0; at < size; at += kPieceSize, ++piece) {
    const std::uint64_t n = size - at < kPieceSize ? size - at : kPieceSize;
    // The offset field is 32 bits, as corvane fills it.
    const auto offset = static_cast<std::uint32_t>(at);
    std::printf("%8llu %10lu  0x%08lx %12zu %12zu\n", static_cast<unsigned long long>(piece),
                static_cast<unsigned long>(offset), static_cast<unsigned long>(offset),
                page_length(static_cast<std::size_t>(n)), list_length(static_cast<std::size_t>(n)));
  }
}

}  // namespace

int image_command(const char *file, bool pieces) {
  errno = 0;
  guard::file f(std::fopen(file, "rb"));
  if (f.value == nullptr) {
    std::fprintf(stderr, "corvane-pages: %s: cannot be opened: %s\n", file, std::strerror(errno));
    return kExitFailed;
  }
  image_facts facts;
  const int error = scan(f.value, facts);
  if (error != 0) {
    std::fprintf(stderr, "corvane-pages: %s: cannot be read: %s\n", file, std::strerror(error));
    return kExitFailed;
  }
  const std::uint64_t count = facts.size / kPieceSize + (facts.size % kPieceSize != 0 ? 1 : 0);
  const std::uint64_t last = count == 0 ? 0 : facts.size - (count - 1) * kPieceSize;
  char digest[65] = {};
  sha256_hex(facts.digest, digest);
  std::printf("file:     %s\n", file);
  std::printf("size:     %llu bytes\n", static_cast<unsigned long long>(facts.size));
  if (is_firmware(facts)) {
    std::printf("firmware: yes (starts with 50 4D 43 00: activation follows the download)\n");
  } else {
    std::printf("firmware: no (no 50 4D 43 00 signature: no activation)\n");
  }
  if (count == 0) {
    std::printf("pieces:   0 (an empty image: nothing is sent)\n");
  } else {
    std::printf("pieces:   %llu of up to %zu bytes, the last %llu bytes\n",
                static_cast<unsigned long long>(count), kPieceSize,
                static_cast<unsigned long long>(last));
  }
  std::printf("sha256:   %s\n", digest);
  if (facts.size > kMaxOffsetImage) {
    std::printf("warning:  larger than the 32-bit offset field: corvane's offsets would wrap\n");
  }
  if (pieces && count > 0) print_pieces(facts.size);
  return kExitOk;
}
