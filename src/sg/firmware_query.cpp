#include <cstdio>
#include <cstdlib>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "oplog/oplog.h"
#include "sg/sg.h"
#include "sg/sg_reason.h"

namespace {

// Firmware status page 0x82: the bytes the version block uses.
constexpr std::size_t kPageCodeOffset = 0;
constexpr std::size_t kActiveImageOffset = 4;    // active image number + 5
constexpr std::size_t kImageVersionOffset = 6;   // three characters
constexpr std::size_t kActiveDataOffset = 32;    // active data number + 1
constexpr std::size_t kDataVersionOffset = 33;   // three characters

// A version character as shown. Bytes are copied as they are, except a NUL,
// which would end the text early and swallow the rest of the block; it is
// shown as a blank.
int version_char(std::span<const std::uint8_t> page, std::size_t off) {
  const std::uint8_t c = bytes::u8(page, off);
  return c == 0 ? ' ' : c;
}

// Appends one formatted line to the block and clears the line buffer.
void add_line(char *block, char *line, bool first) {
  if (first) {
    strcpy_s(block, kTextSize, line);
  } else {
    strcat_s(block, kTextSize, line);
  }
  memset_s(line, kTextSize, 0, kTextSize);
}

}  // namespace

void firmware_version_block(std::span<const std::uint8_t> page, char *block) {
  char line[kTextSize] = {};
  sprintf_s(line, kTextSize, "Active Image:  image%d\n",
            static_cast<int>(bytes::u8(page, kActiveImageOffset)) - 5);
  add_line(block, line, true);
  sprintf_s(line, kTextSize, "Image Version: %c%c%c\n", version_char(page, kImageVersionOffset),
            version_char(page, kImageVersionOffset + 1), version_char(page, kImageVersionOffset + 2));
  add_line(block, line, false);
  sprintf_s(line, kTextSize, "Active Data:   data%d\n",
            static_cast<int>(bytes::u8(page, kActiveDataOffset)) - 1);
  add_line(block, line, false);
  sprintf_s(line, kTextSize, "Data Version:  %c%c%c\n", version_char(page, kDataVersionOffset),
            version_char(page, kDataVersionOffset + 1), version_char(page, kDataVersionOffset + 2));
  add_line(block, line, false);
}

// Reads page 0x82 twice (only the second read counts) and shows the active
// image and data numbers and versions on screen and, stamped, in the log.
int firmware_query(const char *dev) {
  char block[kTextSize] = {};
  guard::heap<std::uint8_t> page(static_cast<std::uint8_t *>(std::malloc(kReceiveSize)));
  if (page.value == nullptr) return -1;
  memset_s(page.value, kReceiveSize, 0, kReceiveSize);
  std::span<std::uint8_t, kReceiveSize> buf(page.value, kReceiveSize);

  (void)sg_query_cmd(dev, kPageFirmwareStatus, buf);
  const int result = sg_query_cmd(dev, kPageFirmwareStatus, buf);
  if (result != 0) return -1;
  if (bytes::u8(buf, kPageCodeOffset) == 0) {
    // Delivered but empty: say how much arrived.
    sg_reason_print();
    return -1;
  }

  firmware_version_block(buf, block);
  recorde_log(block, 1);
  std::printf("%s", block);
  return 0;
}
