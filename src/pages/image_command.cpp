// corvane-pages image: what corvane download= would do with an image file,
// without a device: firmware or not, size, the pieces and their lengths, and
// the image's SHA-256.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/guards.h"
#include "pages/json_doc.h"
#include "pages/pages.h"
#include "pages/sha256.h"
#include "sg/download_piece.h"

namespace {

using namespace download_piece;

constexpr std::size_t kReadChunk = 64 * 1024;
// Offsets travel in a 32-bit field of the piece.
constexpr std::uint64_t kMaxOffsetImage = std::uint64_t{1} << 32;
// Largest file examined: well past what the offset field addresses, so the
// wrap is still shown, yet a bound on the time a run takes.
constexpr std::uint64_t kMaxImageFile = std::uint64_t{1} << 36;

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

// One piece as corvane would send it.
struct piece_facts {
  std::uint64_t piece;
  std::uint32_t offset;  // the 32-bit offset field, as corvane fills it
  std::size_t page_length;
  std::size_t list_length;
};

piece_facts piece_at(std::uint64_t size, std::uint64_t piece) {
  const std::uint64_t at = piece * kPieceSize;
  const std::uint64_t n = size - at < kPieceSize ? size - at : kPieceSize;
  return {piece, static_cast<std::uint32_t>(at), page_length(static_cast<std::size_t>(n)),
          list_length(static_cast<std::size_t>(n))};
}

void print_pieces(std::uint64_t size, std::uint64_t count) {
  std::printf("%8s %10s  %10s %12s %12s\n", "piece", "offset", "offset hex", "page length",
              "list length");
  for (std::uint64_t piece = 0; piece < count; ++piece) {
    const piece_facts p = piece_at(size, piece);
    std::printf("%8llu %10lu  0x%08lx %12zu %12zu\n", static_cast<unsigned long long>(p.piece),
                static_cast<unsigned long>(p.offset), static_cast<unsigned long>(p.offset),
                p.page_length, p.list_length);
  }
}

void print_facts(const char *file, const image_facts &facts, std::uint64_t count,
                 std::uint64_t last, const char *digest) {
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
}

json_doc::json facts_json(const char *file, const image_facts &facts, std::uint64_t count,
                          std::uint64_t last, const char *digest, bool pieces) {
  json_doc::json image = json_doc::json::object();
  image["file"] = file;
  image["size"] = facts.size;
  image["firmware"] = is_firmware(facts);
  image["pieces"] = count;
  image["last_piece_bytes"] = last;
  image["sha256"] = digest;
  image["offset_wraps"] = facts.size > kMaxOffsetImage;
  if (pieces) {
    json_doc::json list = json_doc::json::array();
    for (std::uint64_t piece = 0; piece < count; ++piece) {
      const piece_facts p = piece_at(facts.size, piece);
      list.push_back({{"piece", p.piece}, {"offset", p.offset}, {"page_length", p.page_length},
                      {"list_length", p.list_length}});
    }
    image["piece_list"] = std::move(list);
  }
  return image;
}

// Reads the image: only a regular file, opened without blocking.
int read_image(const char *file, image_facts &facts) {
  char why[kWhySize] = {};
  const int fd = open_regular_file(AT_FDCWD, file, true, kMaxImageFile, why);
  if (fd < 0) {
    pages_error("%s: %s", file, why);
    return -1;
  }
  guard::file f(fdopen(fd, "rb"));
  if (f.value == nullptr) {
    close(fd);
    pages_error("%s: cannot be opened: %s", file, std::strerror(errno));
    return -1;
  }
  const int error = scan(f.value, facts);
  if (error != 0) {
    pages_error("%s: cannot be read: %s", file, std::strerror(error));
    return -1;
  }
  return 0;
}

}  // namespace

int image_command(const char *file, bool pieces, const run_args &args) {
  json_doc::json doc = json_doc::begin("image", args.argc, args.argv);
  doc["image"] = nullptr;
  image_facts facts;
  if (read_image(file, facts) != 0) {
    return args.json ? json_doc::finish_document(doc, kExitFailed) : kExitFailed;
  }
  const std::uint64_t count = facts.size / kPieceSize + (facts.size % kPieceSize != 0 ? 1 : 0);
  const std::uint64_t last = count == 0 ? 0 : facts.size - (count - 1) * kPieceSize;
  char digest[65] = {};
  sha256_hex(facts.digest, digest);
  if (args.json) {
    doc["image"] = facts_json(file, facts, count, last, digest, pieces);
    return json_doc::finish_document(doc, kExitOk);
  }
  print_facts(file, facts, count, last, digest);
  if (pieces && count > 0) print_pieces(facts.size, count);
  return finish_text(kExitOk);
}
