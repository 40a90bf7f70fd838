// Vendor SSSF status page (0xF3): one line per phy record.
#include "bounded/bounded.h"
#include "oplog/oplog.h"
#include "ses/ses_decode.h"

namespace {


}  // namespace

// count is page_length >> 3 from the page header; the structure holds 68
// records, so a larger count decodes those 68.
int analysis_sssf_status(
    std::span<const std::uint8_t, kSssfPageSize - kSssfHeaderSize> records, int count) {
  char text[kTextSize];
  memset_s(text, sizeof text, 0, sizeof text);
  const int decoded = count < kSssfRecords ? count : kSssfRecords;
  for (int n = 0; n < decoded; ++n) {
    const auto record =
        records.subspan(static_cast<std::size_t>(n) * kSssfRecordSize, kSssfRecordSize);
    memset_s(text, sizeof text, 0, sizeof text);
    std::size_t length = 0;
    for (const sssf_field &field : sssf_fields) {
      const int value = static_cast<int>((record[field.byte] >> field.shift) & field.mask);
      line_append(text, &length, field.padded ? "%s%-2d" : "%s%d", field.label, value);
    }
    line_append(text, &length, "\n");
    recorde_log(text, 0);
  }
  return 0;
}
