#include <gtest/gtest.h>

#include <string>

#include "decode/decode.h"
#include "ses/ses.h"
#include "ses/ses_decode.h"
#include "ses_test_pages.h"
#include "support/temp_log.h"

namespace {

using sestest::make_work;
using sestest::put_header;
using sestest::replace_once;

const char kHeading[] = " \nSSSF status Page(0xF3)\n";

const std::string kZeroRecord =
    "phy_id:0  ;sxl_rate:0  ;sspl_rate:0  ;ecc_test_state:0 ;work_mode:0 ;max_frame_count:0 "
    "emip_err_state:0 ;sxl_err_state:0 ;sssf_err_state:0 ;sssf_splid_mode:0\n";

std::string one_record(const std::array<std::uint8_t, 8> &record) {
  std::array<std::uint8_t, kSssfPageSize - kSssfHeaderSize> records{};
  std::copy(record.begin(), record.end(), records.begin());
  testsupport::TempLog log;
  EXPECT_EQ(analysis_sssf_status(records, 1), 0);
  return log.text();
}

TEST(Sssf, AllBitsSet) {
  EXPECT_EQ(one_record({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
            "phy_id:127 ;sxl_rate:15 ;sspl_rate:15 ;ecc_test_state:7 ;work_mode:7 "
            ";max_frame_count:255 emip_err_state:1 ;sxl_err_state:1 ;sssf_err_state:1 "
            ";sssf_splid_mode:1\n");
}

struct bit_case {
  std::size_t byte;
  unsigned bit;
  const char *from, *to;  // "" for a bit that is not shown
};

const bit_case kBits[] = {
    {0, 0, "phy_id:0  ", "phy_id:1  "},   {0, 1, "phy_id:0  ", "phy_id:2  "},
    {0, 2, "phy_id:0  ", "phy_id:4  "},   {0, 3, "phy_id:0  ", "phy_id:8  "},
    {0, 4, "phy_id:0  ", "phy_id:16 "},   {0, 5, "phy_id:0  ", "phy_id:32 "},
    {0, 6, "phy_id:0  ", "phy_id:64 "},   {0, 7, "", ""},
    {1, 0, "sspl_rate:0  ", "sspl_rate:1  "}, {1, 1, "sspl_rate:0  ", "sspl_rate:2  "},
    {1, 2, "sspl_rate:0  ", "sspl_rate:4  "}, {1, 3, "sspl_rate:0  ", "sspl_rate:8  "},
    {1, 4, ";sxl_rate:0  ", ";sxl_rate:1  "}, {1, 5, ";sxl_rate:0  ", ";sxl_rate:2  "},
    {1, 6, ";sxl_rate:0  ", ";sxl_rate:4  "}, {1, 7, ";sxl_rate:0  ", ";sxl_rate:8  "},
    {2, 0, "work_mode:0", "work_mode:1"},   {2, 1, "work_mode:0", "work_mode:2"},
    {2, 2, "work_mode:0", "work_mode:4"},   {2, 3, "ecc_test_state:0", "ecc_test_state:1"},
    {2, 4, "ecc_test_state:0", "ecc_test_state:2"}, {2, 5, "ecc_test_state:0", "ecc_test_state:4"},
    {2, 6, "", ""}, {2, 7, "", ""},
    {3, 0, "count:0 ", "count:1 "},   {3, 1, "count:0 ", "count:2 "},
    {3, 2, "count:0 ", "count:4 "},   {3, 3, "count:0 ", "count:8 "},
    {3, 4, "count:0 ", "count:16 "},  {3, 5, "count:0 ", "count:32 "},
    {3, 6, "count:0 ", "count:64 "},  {3, 7, "count:0 ", "count:128 "},
    {4, 0, "emip_err_state:0", "emip_err_state:1"}, {4, 1, ";sxl_err_state:0", ";sxl_err_state:1"},
    {4, 2, "sssf_err_state:0", "sssf_err_state:1"}, {4, 3, "", ""}, {4, 4, "", ""},
    {4, 5, "", ""}, {4, 6, "", ""}, {4, 7, "", ""},
    {5, 0, "sssf_splid_mode:0", "sssf_splid_mode:1"},
};

TEST(Sssf, EachBitFlipsExactlyItsField) {
  for (const bit_case &c : kBits) {
    std::array<std::uint8_t, 8> record{};
    record[c.byte] = static_cast<std::uint8_t>(1u << c.bit);
    const std::string want =
        *c.from == '\0' ? kZeroRecord : replace_once(kZeroRecord, c.from, c.to);
    EXPECT_EQ(one_record(record), want) << "byte " << c.byte << " bit " << c.bit;
  }
  for (std::size_t byte : {5u, 6u, 7u}) {
    for (unsigned bit = byte == 5 ? 1 : 0; bit < 8; ++bit) {
      std::array<std::uint8_t, 8> record{};
      record[byte] = static_cast<std::uint8_t>(1u << bit);
      EXPECT_EQ(one_record(record), kZeroRecord) << "byte " << byte << " bit " << bit;
    }
  }
}

// A page of records whose phy_id is the record number; the bytes after the
// copy are poison.
std::string run_page(int page_length, int count) {
  auto work = make_work();
  for (std::size_t n = 0; n < 68; ++n) (*work)[4 + 8 * n] = static_cast<std::uint8_t>(n);
  put_header(*work, 0xF3, static_cast<std::uint16_t>(page_length));
  testsupport::TempLog log;
  EXPECT_EQ(analysis_log(*work, count, 0xF3), 0);
  return log.text();
}

std::string records_text(int n) {
  std::string text = kHeading;
  for (int i = 0; i < n; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "%-2d", i);
    text += replace_once(kZeroRecord, "phy_id:0 ", std::string("phy_id:") + id);
  }
  return text;
}

struct limit_case {
  int page_length, count, records;
};

const limit_case kLimits[] = {
    {1, 0, 0},     {7, 0, 0},      {8, 1, 1},     {15, 1, 1},    {16, 2, 2},
    {16, 3, 2},    {16, -1, 0},    {543, 67, 67}, {544, 68, 68}, {552, 69, 68},
    {6396, 799, 68}, {100, 68, 12}, {16, INT32_MAX, 2},
};

TEST(SssfPage, RecordsStopAtTheCopyAndTheStructure) {
  for (const limit_case &c : kLimits) {
    const std::string text = run_page(c.page_length, c.count);
    EXPECT_EQ(text, records_text(c.records)) << c.page_length << " " << c.count;
  }
}

TEST(SssfPage, RefusedOrClaimingPageShowsHeadingOnly) {
  EXPECT_EQ(run_page(6397, 6397 >> 3), kHeading);
  EXPECT_EQ(run_page(0xFFFF, 0xFFFF >> 3), kHeading);
  auto work = make_work();
  testsupport::TempLog log;
  EXPECT_EQ(analysis_log(*work, 68, 0xF3), 0);
  EXPECT_EQ(log.text(), kHeading);
}

TEST(SssfPage, DirectCountAboveTheStructure) {
  std::array<std::uint8_t, kSssfPageSize - kSssfHeaderSize> records{};
  for (int count : {68, 69, 1000, INT32_MAX}) {
    testsupport::TempLog log;
    EXPECT_EQ(analysis_sssf_status(records, count), 0);
    std::string want;
    for (int i = 0; i < 68; ++i) want += kZeroRecord;
    EXPECT_EQ(log.text(), want) << count;
  }
}

}  // namespace
