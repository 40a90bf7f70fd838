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

// The named bits of an array device slot element, line by line; the first
// line ends with the status text.
struct status_bit {
  int line;
  bit_row row;
};
constexpr status_bit kStatusBits[] = {
    {0, {0, 6, "Predicted failure"}},   {0, {0, 5, "Disabled"}},
    {0, {0, 4, "Swap"}},
    {1, {1, 7, "OK"}},                  {1, {1, 6, "Reserved device"}},
    {1, {1, 5, "Hot spare"}},           {1, {1, 4, "Cons check"}},
    {2, {1, 3, "In crit array"}},       {2, {1, 2, "In failed array"}},
    {2, {1, 1, "Rebuild/remap"}},       {2, {1, 0, "R/R abort"}},
    {3, {2, 7, "App client bypass A"}}, {3, {2, 6, "Do not remove"}},
    {3, {2, 5, "Enc bypass A"}},        {3, {2, 4, "Enc bypass B"}},
    {4, {2, 3, "Ready to insert"}},     {4, {2, 2, "RMV"}},
    {4, {2, 1, "Ident"}},               {4, {2, 0, "Report"}},
    {5, {3, 7, "App client bypass B"}}, {5, {3, 6, "Fault sensed"}},
    {5, {3, 5, "Fault reqstd"}},        {5, {3, 4, "Device off"}},
    {6, {3, 3, "Bypassed A"}},          {6, {3, 2, "Bypassed B"}},
    {6, {3, 1, "Dev bypassed A"}},      {6, {3, 0, "Dev bypassed B"}},
};

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
    for (const status_bit &bit : kStatusBits) {
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
