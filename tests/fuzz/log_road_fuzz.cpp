// The log road without a device: the input fills the page buffer as a read
// (or, for page 0xF4, the NV log image) would, then the page is checked,
// counted and decoded exactly as incollect_log does.
//
// Input: byte 0 picks the page (low bits: 0x80, 0x02, 0x0A, 0xF3, 0xF4) and,
// with bit 0x80 set, seals the page's integrity field (the RAM log's byte sum,
// the NV header's CRC) so the decoders are reached; the remaining bytes are
// the page buffer's first bytes, the rest of it staying zero.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/page_codes.h"
#include "common/sizes.h"
#include "decode/decode.h"
#include "logs/logs.h"
#include "scratch_log.h"

namespace {

constexpr std::array<int, 5> kPages = {kPageRamLog, kPageEnclosureStatus, kPageAdditionalElement,
                                       kPageSssf, kPageNvLog};
constexpr std::uint8_t kSealFlag = 0x80;

// Writes the byte sum log_check expects into the RAM log header.
void seal_ram_log(page_span page) {
  std::uint32_t sum = 0;
  const std::size_t end = ram_log::kHeaderSize + ram_log_sum_record_count(page) * kEventRecordSize;
  for (std::size_t i = ram_log::kHeaderSize; i < end; ++i) sum += page[i];
  bytes::put_be32(page, ram_log::kRecordSum, sum);
}

// Writes the header CRC nv_log_check expects into the NV log image.
void seal_nv_log(page_span page) {
  bytes::put_le32(page, nv_log::kHeaderCrc, crc32(page.data(), nv_log::kCrcCovered));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::use_scratch_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  fuzzsupport::reset_scratch_log();
  const int page_code = kPages[(data[0] & ~kSealFlag) % kPages.size()];
  const bool seal = (data[0] & kSealFlag) != 0;
  ++data;
  --size;

  // Heap buffers of the exact sizes, so any read past them is caught.
  auto *page_bytes = new std::uint8_t[kPageBufferSize]();
  auto *work_bytes = new std::uint8_t[kWorkBufferSize]();
  const page_span page(page_bytes, kPageBufferSize);
  const work_span work(work_bytes, kWorkBufferSize);
  // A read brings at most kReceiveSize bytes; the NV log image fills the page
  // buffer up to its own size. held tells the road how many bytes are the
  // page's, as sg_incollect_log does.
  const std::size_t limit = page_code == kPageNvLog ? page.size() : kReceiveSize;
  const std::size_t held = size < limit ? size : limit;
  std::memcpy(page.data(), data, held);
  if (seal && page_code == kPageRamLog) seal_ram_log(page);
  if (seal && page_code == kPageNvLog) seal_nv_log(page);

  if (log_check(page, work, page_code, held) == 0) {
    const int count = log_entry_count(page, page_code, held);
    (void)analysis_log(work, count, page_code);
  }
  delete[] work_bytes;
  delete[] page_bytes;
  return 0;
}
