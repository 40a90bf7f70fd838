// One page of the log road: fetch, check, count, decode.
#include <cstdlib>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "decode/decode.h"
#include "logs/logs.h"
#include "oplog/oplog.h"
#include "sg/sg.h"

int log_entry_count(const_page_span page, int page_code, std::size_t held) {
  const int page_length = page_header::length(page);
  switch (page_code) {
    case kPageRamLog:
      return ram_log_record_count(page, held);
    case kPageNvLog:
      return nv_log_record_count(page_bytes_held(page, held));
    case kPageEnclosureStatus:
      return (page_length - 8) / 4;
    case kPageAdditionalElement:
      return (page_length - 4) / 36;
    case kPageSssf:
      return page_length >> 3;
    default:
      return 0;
  }
}

namespace {

void keep_work(decoded_work *keep, const_work_span work, int count) {
  if (keep == nullptr) return;
  memcpy_s(keep->work.data(), keep->work.size(), work.data(), work.size());
  keep->count = count;
}

}  // namespace

int decode_log_page(const_page_span page, int page_code, std::size_t held, decoded_work *keep) {
  std::array<std::uint8_t, kWorkBufferSize> work;
  memset_s(work.data(), work.size(), 0, work.size());
  if (log_check(page, work, page_code, held) != 0) {
    recorde_log("check log fail\n\r", 0);
    return -1;
  }
  const int count = log_entry_count(page, page_code, held);
  keep_work(keep, work, count);
  if (analysis_log(work, count, page_code) != 0) {
    recorde_log("analysis log fail\n\r", 0);
    return -1;
  }
  return 0;
}

int decode_log_page_unchecked(const_page_span page, int page_code, std::size_t held,
                              decoded_work *keep) {
  std::array<std::uint8_t, kWorkBufferSize> work;
  memset_s(work.data(), work.size(), 0, work.size());
  int result = 0;
  if (log_check(page, work, page_code, held) != 0) {
    recorde_log("(unchecked: the page fails its check; decoded all the same)\n", 0);
    memset_s(work.data(), work.size(), 0, work.size());
    if (log_fill_unchecked(page, work, page_code, held) != 0) return -1;
    result = 1;
  }
  const int count = log_entry_count(page, page_code, held);
  keep_work(keep, work, count);
  if (analysis_log(work, count, page_code) != 0) {
    recorde_log("analysis log fail\n\r", 0);
    return -1;
  }
  return result;
}

int incollect_log(const char *dev, int page_code) {
  guard::heap<std::uint8_t> buffer(static_cast<std::uint8_t *>(std::malloc(kPageBufferSize)));
  if (buffer.value == nullptr) return -1;
  const page_span page(buffer.value, kPageBufferSize);

  // The firmware status page is read first and thrown away.
  (void)sg_query_cmd(dev, kPageFirmwareStatus, page.first<kReceiveSize>());
  memset_s(page.data(), page.size(), 0, page.size());

  const std::size_t held = sg_incollect_log(dev, page, page_code);
  return decode_log_page(page, page_code, held);
}
