#include <array>
#include <cstdio>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "oplog/oplog.h"
#include "sg/download_piece.h"
#include "sg/download_progress.h"
#include "sg/sg.h"

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

void report_file_error(const char *format_open_or_read, const char *file) {
  char text[kTextSize] = {};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  sprintf_s(text, sizeof text, format_open_or_read, file);
#pragma GCC diagnostic pop
  recorde_log(text, 1);
  std::printf("%s", text);
}

}  // namespace

// Sends the image in pieces of up to 512 bytes, each a separate request, the
// offsets growing by 512. A full piece goes out as soon as its last byte was
// read; an empty image sends nothing and succeeds. When standard error is a
// terminal, the progress is shown there.
int firmware_download(const char *file, const char *dev) {
  guard::file image(std::fopen(file, "rb"));
  if (image.value == nullptr) {
    report_file_error("Open file %s error\n", file);
    return -1;
  }
  std::array<std::uint8_t, kReceiveSize> param{};
  (void)sg_query_cmd(dev, kPageFirmwareStatus, param);  // pieces overwrite it

  download_progress progress(image.value);
  std::size_t count = 0;
  std::uint32_t offset = 0;
  bool first_piece_seen = false;
  bool at_end = false;
  while (!at_end) {
    std::uint8_t byte = 0;
    if (std::fread(&byte, 1, 1, image.value) != 1) {
      if (!std::feof(image.value)) {
        // A read error is not the end of the image: stop without sending more.
        progress_end(progress);
        report_file_error("Read file %s error\n", file);
        return -1;
      }
      at_end = true;
    }
    if (!at_end) param[kHeaderSize + count++] = byte;
    if (count < kPieceSize && !at_end) continue;
    if (count == 0) break;

    fill_header(param, count, offset);
    offset += static_cast<std::uint32_t>(count);
    if (!first_piece_seen) {
      if (carries_signature(param, count)) g_fw_flag = 1;
      first_piece_seen = true;
    }
    const int len = static_cast<int>(list_length(count));
    const std::size_t sent = count;
    count = 0;
    if (sg_send_cmd(dev, param.data(), len) != 0) return -1;
    progress_piece(progress, sent);
  }
  return 0;
}
