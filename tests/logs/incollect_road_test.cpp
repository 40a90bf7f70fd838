// Whole pages through incollect_log with the real checks and decoders: the
// fake target serves hand-built pages, the operation log is compared whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "logs/fake_expander.h"
#include "logs/logs.h"
#include "logs/page_builders.h"
#include "support/temp_log.h"

namespace {

using testlogs::bytevec;
using testlogs::record;

constexpr char kDev[] = "/dev/sg-fake";

TEST(IncollectRoad, RamLogDecodedLineByLine) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  fake.always(0x80, testlogs::ram_page({
                        {0x00050002u, 1, 0, 5, 0x001A0001u, 1, 2, 3},
                        {0, 0, 0, 0xFFFFFFFFu, 0, 0, 0, 0},
                        {0x00000007u, 0, 999, 1234, 0x002A0004u, 0xABCDEF01u, 0, 0},
                    }));
  EXPECT_EQ(incollect_log(kDev, 0x80), 0);
  EXPECT_EQ(log.text(),
            "\nincollect RAM log\n"
            "5   0000/01/01 01:11:34 967:296 error \"LINK SMPINIT: init\" 0x00000001 0x00000002 "
            "0x00000003 \n"
            "-1  0000/01/01 00:00:00 000:000 Disables logging 0x00000000 0x00000000 0x00000000 "
            "0x00000000 \n"
            "1234 0000/01/01 00:00:00 000:999 0x00000007 0x002a0004 0xabcdef01 0x00000000 "
            "0x00000000 \n");
}

std::size_t line_count(const std::string &text) {
  std::size_t n = 0;
  for (char c : text) n += c == '\n' ? 1 : 0;
  return n;
}

// A page that declares more records than a read can bring (and than the
// work buffer holds): only the 63 whole records inside the 2048 bytes read
// are decoded; the page buffer's zeros after them are no events. The
// checksum covers the same records.
TEST(IncollectRoad, RamLogRecordsStopAtTheBytesRead) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  bytevec page(2048);
  page[0] = 0x80;
  testlogs::put_be16(page, 2, 2044);
  testlogs::put_be16(page, 18, 32 * 250);
  for (std::size_t i = 32; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i);
  testlogs::put_be32(page, 20, testlogs::record_bytes_sum(page, 2016));
  fake.always(0x80, page);
  EXPECT_EQ(incollect_log(kDev, 0x80), 0);
  EXPECT_EQ(line_count(log.text()), 2u + 63u);  // the heading has two line ends
  EXPECT_EQ(log.text().find("0000/01/01 00:00:00 000:000 Disables logging"), std::string::npos);
}

TEST(IncollectRoad, OtherPageCodeIsReadAndYieldsNothing) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  fake.always(0x55, bytevec(64, 0xEE));
  EXPECT_EQ(incollect_log(kDev, 0x55), 0);
  EXPECT_EQ(fake.requests(), (std::vector<int>{0x82, 0x55}));
  EXPECT_EQ(log.text(), "");
}

TEST(IncollectRoad, OtherPageCodeUnreadableStillPasses) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  EXPECT_EQ(incollect_log(kDev, 0x55), 0);
  EXPECT_EQ(log.text(), "send expander incollect SES page log fail\n\r");
}

// An NV log image of 700 bytes in three chunks: twelve register words, one
// word in each other area, two flash event records.
bytevec small_crash_image() {
  bytevec image = testlogs::nv_image_bytes(700);
  for (std::uint32_t i = 0; i < 12; ++i) testlogs::put_le32(image, 120 + 4 * i, 0x80000000u + i);
  testlogs::put_le32(image, 168, 0x11111111u);
  testlogs::put_le32(image, 172, 0x22222222u);
  testlogs::put_le32(image, 176, 0x33333333u);
  testlogs::put_le32(image, 180, 0x44444444u);
  testlogs::set_area(image, 0, 120, 48);
  testlogs::set_area(image, 1, 168, 4);
  testlogs::set_area(image, 2, 172, 4);
  testlogs::set_area(image, 3, 176, 4);
  testlogs::set_area(image, 4, 180, 4);
  testlogs::set_event_log(image, 300, 48 + 64);
  const record flash[] = {{4, 0, 1000, 7, 0x00100001u, 0x9FC00000u, 0, 0},
                          {0x00000001u, 0, 1000000, 8, 0x00110001u, 0, 0, 1}};
  for (std::size_t r = 0; r < 2; ++r) {
    for (std::size_t w = 0; w < 8; ++w) testlogs::put_le32(image, 348 + 32 * r + 4 * w, flash[r][w]);
  }
  testlogs::seal_nv_header(image);
  return image;
}

TEST(IncollectRoad, NvLogCrashDumpAndFlashEvents) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  for (const bytevec &c : testlogs::nv_chunks(small_crash_image(), 250)) fake.queue(0xF4, c);
  EXPECT_EQ(incollect_log(kDev, 0xF4), 0);
  EXPECT_EQ(fake.requests(), (std::vector<int>{0x82, 0xF4, 0xF4, 0xF4}));
  EXPECT_EQ(log.text(),
            "incollect NVlog\n"
            "registers(32 GPRs and 55 CP0 Regs, starts from EPC and Index respectively)\n"
            "0x80000000 0x80000001 0x80000002 0x80000003 0x80000004 0x80000005 0x80000006 "
            "0x80000007 \n0x80000008 0x80000009 0x8000000a 0x8000000b "
            "\n\rSystem Stack\n0x11111111 "
            "\n\rActive Thread Control Block\n0x22222222 "
            "\n\rActive Thread Stack Content\n0x33333333 "
            "\n\rActive Thread Stack Content\n0x44444444 "
            "\nEvent Log Content in flash\n"
            "7   0000/01/01 00:00:00 001:000 info \"OSF: PMCFW Asserted\" 0x9fc00000 0x00000000 "
            "0x00000000 \n"
            "8   0000/01/01 00:00:01 000:000 critical error 0x00110001 0x00000000 0x00000000 "
            "0x00000001 \n");
}

TEST(IncollectRoad, NvLogWithBadHeaderCrcPrintsNoDump) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  bytevec image = small_crash_image();
  image[116] ^= 0x01;
  for (const bytevec &c : testlogs::nv_chunks(image, 250)) fake.queue(0xF4, c);
  EXPECT_EQ(incollect_log(kDev, 0xF4), -1);
  EXPECT_EQ(log.text(), "incollect NVlog\ncheck log fail\n\r");
}

// An Enclosure Status page too short for its overall element (page_length 1
// to 7, count -1 or 0): the headings and the overall element are logged, the
// element's missing bytes read as the zeros of the cleared work buffer.
TEST(IncollectRoad, ShortEnclosurePageLogsTheOverallElement) {
  const std::string overall =
      "\rEnclosure Status Page(0x02)\n  Overall descriptor:\n"
      "   Predicted failure=0, Disabled=0, Swap=0, status: Unsupported\n"
      "   OK=0, Reserved device=0, Hot spare=0, Cons check=0\n"
      "   In crit array=0, In failed array=0, Rebuild/remap=0, R/R abort=0\n"
      "   App client bypass A=0, Do not remove=0, Enc bypass A=0, Enc bypass B=0\n"
      "   Ready to insert=0, RMV=0, Ident=0, Report=0\n"
      "   App client bypass B=0, Fault sensed=0, Fault reqstd=0, Device off=0\n"
      "   Bypassed A=0, Bypassed B=0, Dev bypassed A=0, Dev bypassed B=0\n";
  for (std::uint16_t page_length = 1; page_length <= 7; ++page_length) {
    SCOPED_TRACE(page_length);
    testsupport::TempLog log;
    testlogs::fake_expander fake;
    // Bytes past page_length + 4 are not the page's: all bits set, never shown.
    bytevec page(2048, 0xFF);
    page[0] = 0x02;
    page[1] = 0;
    testlogs::put_be16(page, 2, page_length);
    for (std::size_t i = 4; i < page_length + 4u; ++i) page[i] = 0;
    fake.always(0x02, page);
    EXPECT_EQ(incollect_log(kDev, 0x02), 0);
    EXPECT_EQ(log.text(), overall);
  }
}

// The log text of an NV log image of 1000 bytes served in chunks.
std::string nv_road_text(bytevec image) {
  testlogs::seal_nv_header(image);
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  for (const bytevec &c : testlogs::nv_chunks(image, 500)) fake.queue(0xF4, c);
  EXPECT_EQ(incollect_log(kDev, 0xF4), 0);
  return log.text();
}

// A register area that runs from 900 to 1300 in an image of 1000 bytes: the
// dump stops at the image's last whole word (25 words); the page buffer's
// zeros after the image are never shown.
TEST(IncollectRoad, NvDumpAreaStopsAtTheImageEnd) {
  bytevec image = testlogs::nv_image_bytes(1000);
  for (std::uint32_t i = 0; i < 25; ++i) testlogs::put_le32(image, 900 + 4 * i, 0xA0000000u + i);
  testlogs::set_area(image, 0, 900, 400);
  const std::string text = nv_road_text(image);
  std::string registers;
  for (std::uint32_t i = 0; i < 25; ++i) {
    char word[16];
    std::snprintf(word, sizeof word, "0x%08x ", 0xA0000000u + i);
    registers += word;
    if ((i + 1) % 8 == 0) registers += "\n";
  }
  const std::string heading =
      "registers(32 GPRs and 55 CP0 Regs, starts from EPC and Index respectively)\n";
  EXPECT_NE(text.find(heading + registers + "\n\rSystem Stack\n"), std::string::npos) << text;
}

// A flash log that declares 10 records of which 4 fit in the image: the 4 are
// decoded, no invented "Disables logging" event follows them.
TEST(IncollectRoad, NvFlashLogStopsAtTheImageEnd) {
  bytevec image = testlogs::nv_image_bytes(1000);
  testlogs::set_event_log(image, 808, 48 + 10 * 32);  // records from 856: 4 end by 984
  for (std::size_t r = 0; r < 4; ++r) {
    const record flash = {static_cast<std::uint32_t>(r + 1), 0, 0, static_cast<std::uint32_t>(r),
                          0x00110001u, 0, 0, 0};
    for (std::size_t w = 0; w < 8; ++w) testlogs::put_le32(image, 856 + 32 * r + 4 * w, flash[w]);
  }
  const std::string text = nv_road_text(image);
  const std::size_t flash = text.find("\nEvent Log Content in flash\n");
  ASSERT_NE(flash, std::string::npos);
  EXPECT_EQ(line_count(text.substr(flash)), 2u + 4u) << text.substr(flash);
  EXPECT_EQ(text.find("Disables logging"), std::string::npos) << text;
}

}  // namespace
