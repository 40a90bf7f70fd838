// Dispatcher of the SES status pages, and the Enclosure Status page (0x02).
#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/page_codes.h"
#include "oplog/oplog.h"
#include "ses/ses.h"
#include "ses/ses_decode.h"

namespace {

// Enclosure Status page: 8-byte header, the overall status element, then one
// 4-byte element per slot.
constexpr std::size_t kOverallElement = 8;
constexpr std::size_t kFirstElement = 12;
constexpr std::size_t kElementSize = 4;

// count is (page_length - 8) / 4 from the page header. The overall element
// is always decoded from the work buffer, where bytes the page did not bring
// read as the zeros of the cleared buffer. Numbered elements are decoded only
// where they lie wholly inside the page copy (at most 1597 in 6400 bytes):
// the walk stops at the first that would reach past it, and a page the check
// refused to copy has none.
int enclosure_status_page(const_work_span work, std::span<const std::uint8_t> page, int count) {
  recorde_log("\rEnclosure Status Page(0x02)\n", 0);
  recorde_log("  Overall descriptor:\n", 0);
  int result = analysis_enc_status(
      "   ", work.subspan<kOverallElement, kElementSize>(), kArrayDeviceSlot);
  char text[kTextSize];
  for (int n = 0; n < count; ++n) {
    const std::size_t off = kFirstElement + static_cast<std::size_t>(n) * kElementSize;
    if (!bytes::fits(page, off, kElementSize)) break;
    memset_s(text, sizeof text, 0, sizeof text);
    sprintf_s(text, sizeof text, "  Element %d descriptor:\n", n);
    recorde_log(text, 0);
    result += analysis_enc_status("   ", page.subspan(off).first<kElementSize>(),
                                  kArrayDeviceSlot);
  }
  return result;
}

// count is page_length >> 3. The records decoded must lie in the page copy
// and in the 548-byte SSSF page structure: at most 68.
int sssf_status_page(std::span<const std::uint8_t> page, int count) {
  recorde_log(" \nSSSF status Page(0xF3)\n", 0);
  std::array<std::uint8_t, kSssfPageSize> sssf{};
  const std::size_t held = page.size() < sssf.size() ? page.size() : sssf.size();
  if (held > 0) memcpy_s(sssf.data(), sssf.size(), page.data(), held);
  const auto records_held =
      static_cast<int>(held > kSssfHeaderSize ? (held - kSssfHeaderSize) / kSssfRecordSize : 0);
  return analysis_sssf_status(std::span(sssf).subspan<kSssfHeaderSize>(),
                              count < records_held ? count : records_held);
}

}  // namespace

std::span<const std::uint8_t> ses_page_bytes(std::span<const std::uint8_t> work) {
  const std::size_t held = page_header::declared_size(work);
  if (held > work.size()) return {};
  return work.first(held);
}

int analysis_page_log(const_work_span work, int count,
                      int page_code) {
  const std::span<const std::uint8_t> page = ses_page_bytes(work);
  switch (page_code) {
    case kPageEnclosureStatus:
      return enclosure_status_page(work, page, count);
    case kPageAdditionalElement:
      recorde_log("\nAdditional element status diagnostic page: (0x0A)\n", 0);
      return analysis_additional_elem(page, count);
    case kPageSssf:
      return sssf_status_page(page, count);
    default:
      return 0;
  }
}
