// Check of the NV log image in the page buffer: the CRC of the crash dump
// header decides; a good image has its crash dump logged and its flash event
// records copied into the work buffer (little-endian words, host order on
// both target processors).
#include <algorithm>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "logs/logs.h"
#include "oplog/oplog.h"

namespace {

// Byte offset of the first flash event record; past the image bytes held when
// the declared offset lies beyond them.
std::uint64_t first_flash_record(std::span<const std::uint8_t> image) {
  return std::uint64_t{bytes::le32(image, nv_log::kEventLogOffset)} + nv_log::kEventAreaHeader;
}

}  // namespace

std::span<const std::uint8_t> page_bytes_held(const_page_span page, std::size_t held) {
  return std::span<const std::uint8_t>(page).first(std::min(held, page.size()));
}

int nv_log_record_count(std::span<const std::uint8_t> image) {
  const std::uint32_t length = bytes::le32(image, nv_log::kEventLogLength);
  if (length < nv_log::kEventAreaHeader) return 0;
  const std::uint64_t declared = (length - nv_log::kEventAreaHeader) >> kEventRecordShift;
  const std::uint64_t start = first_flash_record(image);
  const std::uint64_t held = start < image.size() ? (image.size() - start) / kEventRecordSize : 0;
  return static_cast<int>(std::min({declared, held, std::uint64_t{kMaxEventRecords}}));
}

// The header CRC is taken over the page buffer as it is; the dump areas and
// the flash event records come only from the image bytes it holds, so a
// dump never shows a word or an event that was not in the image.
int nv_log_check(const_page_span page, work_span work, std::size_t held) {
  std::array<std::uint8_t, nv_log::kHeaderSize> header{};
  memcpy_s(header.data(), header.size(), page.data(), header.size());
  const std::uint32_t stored = bytes::le32(header, nv_log::kHeaderCrc);
  if (crc32(page.data(), nv_log::kCrcCovered) != stored) return -1;
  nv_log_fill(page, work, held);
  return 0;
}

void nv_log_fill(const_page_span page, work_span work, std::size_t held) {
  const std::span<const std::uint8_t> image = page_bytes_held(page, held);
  log_crash_dump(image);
  recorde_log("\nEvent Log Content in flash\n", 0);

  const int records = nv_log_record_count(image);
  const std::size_t start = static_cast<std::size_t>(first_flash_record(image));
  for (int n = 0; n < records; ++n) {
    const std::size_t at = static_cast<std::size_t>(n) * kEventRecordSize;
    memcpy_s(work.data() + at, work.size() - at, image.data() + start + at, kEventRecordSize);
  }
}
