#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "oplog/oplog.h"
#include "sg/download_piece.h"
#include "sg/download_progress.h"
#include "sg/interruption.h"
#include "sg/sg.h"
#include "sg/sg_reason.h"

namespace {

using namespace download_piece;

void fill_header(std::span<std::uint8_t> param, std::size_t count, std::uint32_t offset) {
  param[0] = kPageStringOut;
  param[1] = 0x00;
  bytes::put_be16(param, kPageLengthOffset, static_cast<std::uint16_t>(page_length(count)));
  param[kCommandOffset] = kDownloadCommand;
  bytes::put_be32(param, kImageOffsetOffset, offset);
}

// True when the first piece starts with the firmware signature; a piece
// shorter than the signature never carries it.
bool carries_signature(std::span<const std::uint8_t> param, std::size_t count) {
  return count >= kFirmwareSignature.size() && has_firmware_signature(param.subspan(kHeaderSize));
}

// Largest image: every piece's offset fits the 32-bit offset field.
constexpr std::uint64_t kMaxPieceOffset = 0xFFFFFFFFull;
constexpr std::uint64_t kMaxImageSize = kMaxPieceOffset + 1;

void report_file_error(const char *format_open_or_read, const char *file) {
  char text[kTextSize] = {};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  sprintf_s(text, sizeof text, format_open_or_read, file);
#pragma GCC diagnostic pop
  recorde_log(text, 1);
  std::printf("%s", text);
}

// Opens the image without blocking (a FIFO or a device would wait for a
// writer or a medium) and takes it only when it is a regular file with
// something in it that the 32-bit piece offset can address. Says why on
// standard error and returns nullptr otherwise; an image that cannot be opened
// at all gets the usual message.
std::FILE *open_image(const char *file) {
  const int fd = ::open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    report_file_error("Open file %s error\n", file);
    std::fprintf(stderr, "%s: cannot open: %s\n", file, std::strerror(error));
    return nullptr;
  }
  guard::fd image(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "%s: not a regular file; nothing was sent\n", file);
    return nullptr;
  }
  if (st.st_size <= 0) {
    std::fprintf(stderr, "%s: the image is empty; nothing was sent\n", file);
    return nullptr;
  }
  if (static_cast<std::uint64_t>(st.st_size) > kMaxImageSize) {
    std::fprintf(stderr, "%s: %llu bytes, more than a download can address (%llu at most); nothing was sent\n",
                 file, static_cast<unsigned long long>(st.st_size),
                 static_cast<unsigned long long>(kMaxImageSize));
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    std::fprintf(stderr, "%s: cannot read: %s\n", file, std::strerror(errno));
    return nullptr;
  }
  std::FILE *stream = fdopen(fd, "rb");
  if (stream == nullptr) {
    std::fprintf(stderr, "%s: cannot read: %s\n", file, std::strerror(errno));
    return nullptr;
  }
  image.value = -1;  // the stream owns it now
  return stream;
}

void say_interrupted(const char *dev, int signo, const download_progress &p) {
  std::fprintf(stderr, "%s: download interrupted by %s: %llu pieces (%llu bytes) accepted, no further piece sent\n",
               dev, interruption_name(signo), static_cast<unsigned long long>(p.pieces),
               static_cast<unsigned long long>(p.sent));
}

enum class piece_read { full, last, failed };

// Reads the next piece after the header, a byte at a time, so that a full
// piece is complete as soon as its last byte was read. `last` when the image
// ended (count may then be short or 0), `failed` on a read error.
piece_read read_piece(std::FILE *image, std::span<std::uint8_t> param, std::size_t &count) {
  count = 0;
  while (count < kPieceSize) {
    std::uint8_t byte = 0;
    if (std::fread(&byte, 1, 1, image) != 1) return std::feof(image) ? piece_read::last : piece_read::failed;
    param[kHeaderSize + count++] = byte;
  }
  return piece_read::full;
}

struct download_run {
  const char *file;
  const char *dev;
  download_progress &progress;
  std::uint64_t offset = 0;
  bool first_piece_seen = false;
};

// Sends one read piece of count bytes at the run's offset, unless the offset
// no longer fits or an interruption is held. 0, or -1 when the download stops.
int send_piece(download_run &run, std::span<std::uint8_t> param, std::size_t count) {
  if (run.offset > kMaxPieceOffset) {
    // The file grew while it was read.
    progress_end(run.progress);
    std::fprintf(stderr, "%s: the image grew past what a download can address (%llu bytes); no further piece sent\n",
                 run.file, static_cast<unsigned long long>(kMaxImageSize));
    return -1;
  }
  if (const int signo = interruption_signal(); signo != 0) {
    progress_end(run.progress);
    say_interrupted(run.dev, signo, run.progress);
    return -1;
  }
  fill_header(param, count, static_cast<std::uint32_t>(run.offset));
  run.offset += count;
  if (!run.first_piece_seen) {
    if (carries_signature(param, count)) g_fw_flag = 1;
    run.first_piece_seen = true;
  }
  const int len = static_cast<int>(list_length(count));
  int refused = 0;
  {
    // The reason follows the progress line, not into it.
    const sg_reason_hold hold;
    refused = sg_send_cmd(run.dev, param.data(), len);
  }
  if (refused != 0) {
    progress_end(run.progress);
    sg_reason_print();
    return -1;
  }
  progress_piece(run.progress, count);
  return 0;
}

}  // namespace

// Sends the image in pieces of up to 512 bytes, each a separate request, the
// offsets growing by 512. A full piece goes out as soon as its last byte was
// read. Nothing is sent for an image that is empty, not a regular file, or
// longer than the piece offset can address: that download fails. A held
// interruption (interruption.h) stops it before the next piece. When standard
// error is a terminal, the progress is shown there.
int firmware_download(const char *file, const char *dev) {
  guard::file image(open_image(file));
  if (image.value == nullptr) return -1;
  if (const int signo = interruption_signal(); signo != 0) {
    std::fprintf(stderr, "%s: download interrupted by %s: nothing was sent\n", dev, interruption_name(signo));
    return -1;
  }
  std::array<std::uint8_t, kReceiveSize> param{};
  (void)sg_query_cmd(dev, kPageFirmwareStatus, param);  // pieces overwrite it

  download_progress progress(image.value);
  download_run run{file, dev, progress};
  for (;;) {
    std::size_t count = 0;
    const piece_read got = read_piece(image.value, param, count);
    if (got == piece_read::failed) {
      // A read error is not the end of the image: stop without sending more.
      progress_end(progress);
      report_file_error("Read file %s error\n", file);
      return -1;
    }
    if (count == 0) break;
    if (send_piece(run, param, count) != 0) return -1;
    if (got == piece_read::last) break;
  }
  if (!run.first_piece_seen) {
    // The file was emptied after it was opened.
    std::fprintf(stderr, "%s: the image is empty; nothing was sent\n", file);
    return -1;
  }
  return 0;
}
