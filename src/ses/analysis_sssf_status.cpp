// Vendor SSSF status page (0xF3): one line per phy record.
#include "bounded/bounded.h"
#include "oplog/oplog.h"
#include "ses/ses_decode.h"

namespace {

// A field of the 8-byte SSSF phy record: the text before its value (which
// carries the separator: no semicolon before emip_err_state), its byte, shift
// and mask, and whether the value is padded to two characters.
struct sssf_field {
  const char *label;
  std::size_t byte;
  unsigned shift;
  unsigned mask;
  bool padded;
};
constexpr sssf_field kFields[] = {
    {"phy_id:", 0, 0, 0x7F, true},
    {" ;sxl_rate:", 1, 4, 0x0F, true},
    {" ;sspl_rate:", 1, 0, 0x0F, true},
    {" ;ecc_test_state:", 2, 3, 0x07, false},
    {" ;work_mode:", 2, 0, 0x07, false},
    {" ;max_frame_count:", 3, 0, 0xFF, false},
    {" emip_err_state:", 4, 0, 0x01, false},
    {" ;sxl_err_state:", 4, 1, 0x01, false},
    {" ;sssf_err_state:", 4, 2, 0x01, false},
    {" ;sssf_splid_mode:", 5, 0, 0x01, false},
};

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
    for (const sssf_field &field : kFields) {
      const int value = static_cast<int>((record[field.byte] >> field.shift) & field.mask);
      line_append(text, &length, field.padded ? "%s%-2d" : "%s%d", field.label, value);
    }
    line_append(text, &length, "\n");
    recorde_log(text, 0);
  }
  return 0;
}
