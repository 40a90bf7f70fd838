// One status element of the Enclosure Status page, as an array device slot.
#include "bounded/bounded.h"
#include "oplog/oplog.h"
#include "ses/ses_decode.h"

const std::array<const char *, 16> elem_status_code_desc = {
    "Unsupported",   "OK",           "Critical",          "Noncritical",
    "Unrecoverable", "Not installed", "Unknown",          "Not available",
    "No access allowed", "reserved [9]", "reserved [10]", "reserved [11]",
    "reserved [12]", "reserved [13]", "reserved [14]",    "reserved [15]",
};

namespace {

constexpr std::size_t kStatusByte = 0;      // bits 3-0: element status code
constexpr unsigned kStatusCodeMask = 0x0F;
constexpr int kStatusLines = 7;


// "page", a full-width semicolon in the GB2312 code page, then the reason.
constexpr char kTypeFailure[] = "page\xA3\xBB" "0x2 analysis fail\n";

}  // namespace

int analysis_enc_status(const char *prefix, std::span<const std::uint8_t, 4> element,
                        int element_type) {
  char text[kTextSize];
  memset_s(text, sizeof text, 0, sizeof text);
  if (element_type != kArrayDeviceSlot) {
    recorde_log(kTypeFailure, 0);
    return -1;
  }
  for (int line = 0; line < kStatusLines; ++line) {
    memset_s(text, sizeof text, 0, sizeof text);
    std::size_t length = 0;
    line_append(text, &length, "%s", prefix);
    const char *separator = "";
    for (const status_bit &bit : enc_status_bits) {
      if (bit.line != line) continue;
      line_append(text, &length, "%s%s=%d", separator, bit.row.label,
                  bit_value(element, bit.row));
      separator = ", ";
    }
    if (line == 0) {
      line_append(text, &length, ", status: %s",
                  elem_status_code_desc[element[kStatusByte] & kStatusCodeMask]);
    }
    line_append(text, &length, "\n");
    recorde_log(text, 0);
  }
  return 0;
}
