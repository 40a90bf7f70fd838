#include <gtest/gtest.h>

#include <string>

#include "decode/decode.h"
#include "ses/ses.h"
#include "ses_test_pages.h"
#include "support/temp_log.h"

namespace {

using sestest::make_work;
using sestest::put_header;

const char kHeadings[] = "\rEnclosure Status Page(0x02)\n  Overall descriptor:\n";

// The seven lines of an element whose only set bit is "Ident" (byte 2 bit 1),
// and of an all-zero element.
std::string element_text(bool ident) {
  return std::string("   Predicted failure=0, Disabled=0, Swap=0, status: Unsupported\n"
                     "   OK=0, Reserved device=0, Hot spare=0, Cons check=0\n"
                     "   In crit array=0, In failed array=0, Rebuild/remap=0, R/R abort=0\n"
                     "   App client bypass A=0, Do not remove=0, Enc bypass A=0, "
                     "Enc bypass B=0\n") +
         (ident ? "   Ready to insert=0, RMV=0, Ident=1, Report=0\n"
                : "   Ready to insert=0, RMV=0, Ident=0, Report=0\n") +
         "   App client bypass B=0, Fault sensed=0, Fault reqstd=0, Device off=0\n"
         "   Bypassed A=0, Bypassed B=0, Dev bypassed A=0, Dev bypassed B=0\n";
}

std::string run(const sestest::work_buffer &work, int count, int page = 0x02) {
  testsupport::TempLog log;
  EXPECT_EQ(analysis_log(work, count, page), 0);
  return log.text();
}

TEST(EnclosurePage, OverallThenNumberedElements) {
  auto work = make_work();
  put_header(*work, 0x02, 8 + 4 * 2, 0);
  (*work)[8 + 2] = 0x02;       // overall: Ident
  (*work)[16 + 2] = 0x02;      // element 1: Ident
  EXPECT_EQ(run(*work, 2), std::string(kHeadings) + element_text(true) +
                               "  Element 0 descriptor:\n" + element_text(false) +
                               "  Element 1 descriptor:\n" + element_text(true));
}

TEST(EnclosurePage, CountZeroOrNegativeShowsOverallOnly) {
  auto work = make_work();
  put_header(*work, 0x02, 8, 0);
  for (int count : {0, -1, INT32_MIN}) {
    EXPECT_EQ(run(*work, count), std::string(kHeadings) + element_text(false)) << count;
  }
}

// Numbered elements are decoded only while they lie inside the page copy
// (page_length + 4 bytes): the bytes after it are poison (all bits set), so an
// element read past the copy would show "reserved [15]". The overall element
// always comes from the work buffer; its bytes stay zero here, as the cleared
// buffer leaves them after a short page's copy.
struct limit_case {
  int page_length;
  int count;
  int elements;
};

const limit_case kLimits[] = {
    {1, -1, 0},       {4, -1, 0},        {7, 0, 0},          {8, 0, 0},          {11, 0, 0},
    {12, 1, 1},       {12, 5, 1},        {15, 1, 1},         {16, 100, 2},
    {6396, 1597, 1597}, {6396, 1598, 1597}, {6396, 100000, 1597}, {6395, 1596, 1596},
    {6392, 2000, 1596},
};

TEST(EnclosurePage, ElementsStopAtTheEndOfThePageCopy) {
  for (const limit_case &c : kLimits) {
    SCOPED_TRACE(c.page_length);
    auto work = make_work();
    put_header(*work, 0x02, static_cast<std::uint16_t>(c.page_length));
    // Poison reaches the page's own bytes only after the copy; the elements
    // inside the copy stay zero.
    for (std::size_t i = 8; i < 12; ++i) (*work)[i] = 0;
    const std::string text = run(*work, c.count);
    std::string want = std::string(kHeadings) + element_text(false);
    for (int n = 0; n < c.elements; ++n) {
      want += "  Element " + std::to_string(n) + " descriptor:\n" + element_text(false);
    }
    EXPECT_EQ(text.size(), want.size());
    EXPECT_TRUE(text == want);
  }
}

TEST(EnclosurePage, RefusedPageShowsOverallElementOnly) {
  // A page longer than the work buffer was not copied: the buffer is cleared,
  // and its zeros are the overall element.
  const std::string overall = std::string(kHeadings) + element_text(false);
  auto work = make_work();
  EXPECT_EQ(run(*work, (6397 - 8) / 4), overall);
  // A buffer that claims more than it can hold has no numbered element either.
  put_header(*work, 0x02, 6397, 0);
  EXPECT_EQ(run(*work, 1597), overall);
  put_header(*work, 0x02, 0xFFFF, 0);
  EXPECT_EQ(run(*work, (0xFFFF - 8) / 4), overall);
}

TEST(SesDispatch, OtherPagesLogNothing) {
  auto work = make_work();
  put_header(*work, 0x02, 16, 0);
  for (int page : {0x00, 0x01, 0x03, 0x80, 0xF4, 0x0B, 0x102}) {
    testsupport::TempLog log;
    EXPECT_EQ(analysis_page_log(*work, 2, page), 0) << page;
    EXPECT_EQ(log.text(), "") << page;
  }
}

}  // namespace
