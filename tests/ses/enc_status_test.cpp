#include <gtest/gtest.h>

#include <array>
#include <string>

#include "decode/decode.h"
#include "ses/ses.h"
#include "ses/ses_decode.h"
#include "ses_test_pages.h"
#include "support/temp_log.h"

namespace {

using sestest::replace_once;

const std::string kZeroElement =
    "   Predicted failure=0, Disabled=0, Swap=0, status: Unsupported\n"
    "   OK=0, Reserved device=0, Hot spare=0, Cons check=0\n"
    "   In crit array=0, In failed array=0, Rebuild/remap=0, R/R abort=0\n"
    "   App client bypass A=0, Do not remove=0, Enc bypass A=0, Enc bypass B=0\n"
    "   Ready to insert=0, RMV=0, Ident=0, Report=0\n"
    "   App client bypass B=0, Fault sensed=0, Fault reqstd=0, Device off=0\n"
    "   Bypassed A=0, Bypassed B=0, Dev bypassed A=0, Dev bypassed B=0\n";

std::string decode(std::array<std::uint8_t, 4> element, int type = 23, int *result = nullptr) {
  testsupport::TempLog log;
  const int r = analysis_enc_status("   ", element, type);
  if (result != nullptr) *result = r;
  return log.text();
}

struct bit_case {
  int byte, bit;
  const char *from, *to;  // "" for a bit that is not shown
};

const bit_case kBits[] = {
    {0, 7, "", ""},
    {0, 6, "Predicted failure=0", "Predicted failure=1"},
    {0, 5, "Disabled=0", "Disabled=1"},
    {0, 4, "Swap=0", "Swap=1"},
    {0, 3, "status: Unsupported", "status: No access allowed"},
    {0, 2, "status: Unsupported", "status: Unrecoverable"},
    {0, 1, "status: Unsupported", "status: Critical"},
    {0, 0, "status: Unsupported", "status: OK"},
    {1, 7, "   OK=0", "   OK=1"},
    {1, 6, "Reserved device=0", "Reserved device=1"},
    {1, 5, "Hot spare=0", "Hot spare=1"},
    {1, 4, "Cons check=0", "Cons check=1"},
    {1, 3, "In crit array=0", "In crit array=1"},
    {1, 2, "In failed array=0", "In failed array=1"},
    {1, 1, "Rebuild/remap=0", "Rebuild/remap=1"},
    {1, 0, "R/R abort=0", "R/R abort=1"},
    {2, 7, "App client bypass A=0", "App client bypass A=1"},
    {2, 6, "Do not remove=0", "Do not remove=1"},
    {2, 5, "Enc bypass A=0", "Enc bypass A=1"},
    {2, 4, "Enc bypass B=0", "Enc bypass B=1"},
    {2, 3, "Ready to insert=0", "Ready to insert=1"},
    {2, 2, "RMV=0", "RMV=1"},
    {2, 1, "Ident=0", "Ident=1"},
    {2, 0, "Report=0", "Report=1"},
    {3, 7, "App client bypass B=0", "App client bypass B=1"},
    {3, 6, "Fault sensed=0", "Fault sensed=1"},
    {3, 5, "Fault reqstd=0", "Fault reqstd=1"},
    {3, 4, "Device off=0", "Device off=1"},
    {3, 3, "   Bypassed A=0", "   Bypassed A=1"},
    {3, 2, " Bypassed B=0", " Bypassed B=1"},
    {3, 1, "Dev bypassed A=0", "Dev bypassed A=1"},
    {3, 0, "Dev bypassed B=0", "Dev bypassed B=1"},
};

TEST(EncStatus, ZeroElement) { EXPECT_EQ(decode({0, 0, 0, 0}), kZeroElement); }

TEST(EncStatus, EachBitFlipsExactlyItsField) {
  ASSERT_EQ(std::size(kBits), 32u);
  for (const bit_case &c : kBits) {
    std::array<std::uint8_t, 4> element{};
    element[c.byte] = static_cast<std::uint8_t>(1u << c.bit);
    const std::string want =
        *c.from == '\0' ? kZeroElement : replace_once(kZeroElement, c.from, c.to);
    EXPECT_EQ(decode(element), want) << "byte " << c.byte << " bit " << c.bit;
  }
}

TEST(EncStatus, AllBitsSet) {
  std::string want = kZeroElement;
  for (const bit_case &c : kBits) {
    const std::string from = c.from;
    if (from.size() > 2 && from.substr(from.size() - 2) == "=0") {
      want = replace_once(want, from, std::string(c.to));
    }
  }
  want = replace_once(want, "Unsupported", "reserved [15]");
  EXPECT_EQ(decode({0xFF, 0xFF, 0xFF, 0xFF}), want);
}

TEST(EncStatus, EveryStatusCode) {
  const char *texts[16] = {"Unsupported",   "OK",           "Critical",      "Noncritical",
                           "Unrecoverable", "Not installed", "Unknown",      "Not available",
                           "No access allowed", "reserved [9]", "reserved [10]", "reserved [11]",
                           "reserved [12]", "reserved [13]", "reserved [14]", "reserved [15]"};
  for (std::uint8_t code = 0; code < 16; ++code) {
    EXPECT_EQ(decode({code, 0, 0, 0}),
              replace_once(kZeroElement, "Unsupported", texts[code])) << int(code);
  }
}

TEST(EncStatus, PredictedFailureAndNotInstalled) {
  const std::string text = decode({0x45, 0, 0, 0});
  EXPECT_EQ(text.substr(0, text.find('\n') + 1),
            "   Predicted failure=1, Disabled=0, Swap=0, status: Not installed\n");
}

TEST(EncStatus, OtherElementTypeFails) {
  for (int type : {0, 1, 22, 24, -1}) {
    int result = 0;
    EXPECT_EQ(decode({0xFF, 0xFF, 0xFF, 0xFF}, type, &result),
              "page\xA3\xBB"
              "0x2 analysis fail\n");
    EXPECT_EQ(result, -1);
  }
}

TEST(EncStatus, PrefixStartsEveryLine) {
  testsupport::TempLog log;
  EXPECT_EQ(analysis_enc_status("", std::array<std::uint8_t, 4>{}, 23), 0);
  std::string want = kZeroElement;
  for (std::size_t at = 0; (at = want.find("   ", at)) != std::string::npos;) want.erase(at, 3);
  EXPECT_EQ(log.text(), want);
}

}  // namespace
