// Integrity check of a fetched page and the filling of the work buffer: the
// RAM event log is summed and converted to host order, an SES status page is
// copied unchanged, the NV log is handed to nv_log_check.
#include <algorithm>
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/page_codes.h"
#include "logs/logs.h"

namespace {

constexpr std::size_t kRecordWords = kEventRecordSize / 4;

// Stores the record at page byte src as eight host-order words at dst.
void convert_record(const_page_span page, std::size_t src, work_span work, std::size_t dst) {
  for (std::size_t w = 0; w < kRecordWords; ++w) {
    const std::uint32_t word = bytes::be32(page, src + 4 * w);
    std::memcpy(work.data() + dst + 4 * w, &word, sizeof word);
  }
}

// Sum modulo 2^32 of the bytes of the first n records, taken unsigned.
std::uint32_t record_byte_sum(const_page_span page, std::size_t n) {
  std::uint32_t sum = 0;
  const std::size_t end = ram_log::kHeaderSize + n * kEventRecordSize;
  for (std::size_t i = ram_log::kHeaderSize; i < end; ++i) sum += bytes::u8(page, i);
  return sum;
}

// The records held, converted into the work buffer.
void ram_log_convert(const_page_span page, work_span work, std::size_t held) {
  const int converted = ram_log_record_count(page, held);
  for (int n = 0; n < converted; ++n) {
    const std::size_t at = static_cast<std::size_t>(n) * kEventRecordSize;
    convert_record(page, ram_log::kHeaderSize + at, work, at);
  }
}

int ram_log_check(const_page_span page, work_span work, std::size_t held) {
  std::array<std::uint8_t, ram_log::kHeaderSize> header{};
  memcpy_s(header.data(), header.size(), page.data(), header.size());
  const std::uint16_t page_length = bytes::be16(header, ram_log::kPageLength);
  const std::uint32_t record_sum = bytes::be32(header, ram_log::kRecordSum);
  if (page_length == 0) return -1;
  ram_log_convert(page, work, held);
  return record_byte_sum(page, ram_log_sum_record_count(page, held)) == record_sum ? 0 : -1;
}

// An SES page is copied as received; a page longer than the work buffer is
// refused by the bounded copy, which leaves the work buffer cleared.
int ses_page_check(const_page_span page, work_span work) {
  if (page_header::length(page) == 0) return -1;
  memcpy_s(work.data(), work.size(), page.data(), page_header::declared_size(page));
  return 0;
}

// Records that lie wholly inside the first held bytes of the page buffer:
// bytes past what the read brought are the buffer's zeros, never records.
std::size_t ram_records_held(const_page_span page, std::size_t held) {
  const std::size_t bytes_held = page_bytes_held(page, held).size();
  return bytes_held > ram_log::kHeaderSize
             ? (bytes_held - ram_log::kHeaderSize) / kEventRecordSize
             : 0;
}

}  // namespace

int ram_log_record_count(const_page_span page, std::size_t held) {
  const std::size_t declared = bytes::be16(page, ram_log::kRecordBytes) >> kEventRecordShift;
  return static_cast<int>(std::min({declared, ram_records_held(page, held),
                                    static_cast<std::size_t>(kMaxEventRecords)}));
}

std::size_t ram_log_sum_record_count(const_page_span page, std::size_t held) {
  const std::size_t declared = bytes::be16(page, ram_log::kRecordBytes) >> kEventRecordShift;
  return std::min(declared, ram_records_held(page, held));
}

int log_check(const_page_span page, work_span work, int page_code, std::size_t held) {
  if (page.data() == nullptr) return -1;
  switch (page_code) {
    case kPageRamLog:
      return ram_log_check(page, work, held);
    case kPageNvLog:
      return nv_log_check(page, work, held);
    case kPageEnclosureStatus:
    case kPageAdditionalElement:
    case kPageSssf:
      return ses_page_check(page, work);
    default:
      return 0;
  }
}

int log_fill_unchecked(const_page_span page, work_span work, int page_code, std::size_t held) {
  if (page.data() == nullptr) return -1;
  switch (page_code) {
    case kPageRamLog:
      ram_log_convert(page, work, held);
      return 0;
    case kPageNvLog:
      nv_log_fill(page, work, held);
      return 0;
    case kPageEnclosureStatus:
    case kPageAdditionalElement:
    case kPageSssf:
      return ses_page_check(page, work);
    default:
      return 0;
  }
}
