// The crash dump of an NV log image: five areas of little-endian 32-bit
// words, each after its heading, eight words to a line.
#include <algorithm>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/sizes.h"
#include "logs/logs.h"
#include "oplog/oplog.h"

namespace {

constexpr std::size_t kWordsPerLine = 8;

}  // namespace

std::size_t dump_area_words(std::span<const std::uint8_t> image, std::uint32_t offset,
                            std::uint32_t length) {
  const std::size_t held = offset < image.size() ? image.size() - offset : 0;
  return std::min<std::size_t>(length, held) >> 2;
}

void log_dump_area(std::span<const std::uint8_t> image, std::uint32_t offset,
                   std::uint32_t length) {
  const std::size_t words = dump_area_words(image, offset, length);
  char text[kTextSize] = {};
  for (std::size_t i = 0; i < words; ++i) {
    memset_s(text, sizeof text, 0, sizeof text);
    sprintf_s(text, sizeof text, "0x%08x ", bytes::le32(image, offset + 4 * i));
    recorde_log(text, 0);
    if ((i + 1) % kWordsPerLine == 0) recorde_log("\n", 0);
  }
}

void log_crash_dump(std::span<const std::uint8_t> image) {
  for (const dump_area &area : crash_dump_areas) {
    recorde_log(area.heading, 0);
    log_dump_area(image, bytes::le32(image, area.offset_field),
                  bytes::le32(image, area.offset_field + 4));
  }
}
