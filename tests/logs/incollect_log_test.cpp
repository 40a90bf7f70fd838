// The log road of one page through the pass-through seam: requests made,
// messages logged, and the entry count handed to decoding.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "logs/fake_expander.h"
#include "logs/logs.h"
#include "logs/page_builders.h"
#include "support/sim_device.h"
#include "support/temp_log.h"

namespace {

using testlogs::bytevec;

constexpr char kDev[] = "/dev/sg-fake";

TEST(IncollectLog, FirmwareStatusPageIsReadFirstThenThePage) {
  for (int code : {0x80, 0x02, 0x0A, 0xF3, 0xF4}) {
    testsupport::TempLog log;
    testlogs::fake_expander fake;
    incollect_log(kDev, code);
    EXPECT_EQ(fake.requests(), (std::vector<int>{0x82, code})) << code;
    EXPECT_EQ(testlogs::g_fake.open_count, testlogs::g_fake.close_count);
  }
}

struct failure_case {
  int code;
  const char *log;
};

// Nothing is served: every read ends with CHECK CONDITION.
TEST(IncollectLog, UnreadablePageFailsTheCheck) {
  const failure_case cases[] = {
      {0x80, "\nincollect RAM log\nsend expander incollect RAM log fail\n\rcheck log fail\n\r"},
      {0x02, "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
      {0x0A, "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
      {0xF3, "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
      {0xF4, "incollect NVlog\nsend expander incollect NVlog fail\ncheck log fail\n\r"},
  };
  for (const auto &c : cases) {
    testsupport::TempLog log;
    testlogs::fake_expander fake;
    EXPECT_EQ(incollect_log(kDev, c.code), -1) << c.code;
    EXPECT_EQ(log.text(), c.log) << c.code;
  }
}

TEST(IncollectLog, RamLogChecksumMismatch) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  bytevec page = testlogs::ram_page({{1, 2, 3, 4, 5, 6, 7, 8}});
  page[35] ^= 0x10;
  fake.always(0x82, bytevec(64, 0x11));
  fake.always(0x80, page);
  EXPECT_EQ(incollect_log(kDev, 0x80), -1);
  EXPECT_EQ(log.text(), "\nincollect RAM log\ncheck log fail\n\r");
}

// A first chunk is the last that the page buffer keeps when the assembly
// fails; its chunk header makes no valid crash dump header.
TEST(IncollectLog, NvLogWithMalformedChunksFailsTheCheck) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  const bytevec image = bytevec(600, 0x5A);
  fake.queue(0xF4, testlogs::nv_chunk_page(image, 0, 300, 0, 600));
  fake.queue(0xF4, testlogs::nv_chunk_page(image, 0, 300, 0, 600));
  EXPECT_EQ(incollect_log(kDev, 0xF4), -1);
  EXPECT_EQ(log.text(), "incollect NVlog\nsend expander incollect NVlog fail\ncheck log fail\n\r");
}

struct count_case {
  int code;
  std::uint16_t page_length;
  int count;
};

// A chunk that starts with a later chunk_offset ends the assembly with no
// image, though the bytes it left in the page buffer would pass the header
// CRC: the page has failed, and no crash dump may be printed from them.
TEST(IncollectLog, FailedNvAssemblyIsAFailedPageWhateverTheBufferHolds) {
  testsupport::TempLog log;
  testlogs::fake_expander fake;
  testlogs::bytevec chunk(2048, 0);
  chunk[0] = 0xF4;
  testlogs::put_be16(chunk, 2, 2044);
  testlogs::put_be32(chunk, 4, 512);   // chunk_offset: not a first chunk
  testlogs::put_be32(chunk, 8, 4096);  // image_size
  testlogs::put_le32(chunk, 24, 0);    // register area: offset 0, 8 words
  testlogs::put_le32(chunk, 28, 32);
  testlogs::put_le32(chunk, 116, testlogs::reference_crc32(chunk.data(), 116));
  fake.always(0xF4, chunk);
  EXPECT_EQ(incollect_log(kDev, 0xF4), -1);
  EXPECT_EQ(log.text(), "incollect NVlog\nsend expander incollect NVlog fail\ncheck log fail\n\r");
}

// A read whose transport timed out reports failure though the target's data
// arrived: the page is a failed page, not decoded.
TEST(IncollectLog, FailedReadIsAFailedPageWhateverTheBufferHolds) {
  const failure_case cases[] = {
      {0x80, "\nincollect RAM log\nsend expander incollect RAM log fail\n\rcheck log fail\n\r"},
      {0x02, "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
      {0x0A, "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
      {0xF3, "send expander incollect SES page log fail\n\rcheck log fail\n\r"},
  };
  for (const auto &c : cases) {
    testsupport::TempLog log;
    char rule[32];
    std::snprintf(rule, sizeof rule, "delay:0x%02x/1=60000", c.code);
    testsupport::sim_device device({.pages = {}, .nv_chunks = {}, .faults = rule});
    EXPECT_EQ(incollect_log(testsupport::sim_device::kNode, c.code), -1) << c.code;
    EXPECT_EQ(log.text(), c.log) << c.code;
  }
}

TEST(LogEntryCount, SesPagesCountAsTheirHeaderSays) {
  const count_case cases[] = {
      {0x02, 0, -2},   {0x02, 1, -1},    {0x02, 4, -1},     {0x02, 5, 0},     {0x02, 7, 0},
      {0x02, 8, 0},    {0x02, 12, 1},    {0x02, 15, 1},     {0x02, 104, 24},  {0x02, 6396, 1597},
      {0x02, 6397, 1597}, {0x02, 0xFFFF, 16381},
      {0x0A, 3, 0},    {0x0A, 39, 0},    {0x0A, 40, 1},     {0x0A, 75, 1},    {0x0A, 76, 2},
      {0x0A, 0xFFFF, 1820},
      {0xF3, 7, 0},    {0xF3, 8, 1},     {0xF3, 288, 36},   {0xF3, 544, 68},  {0xF3, 552, 69},
      {0xF3, 0xFFFF, 8191},
      {0x82, 100, 0},  {0x04, 100, 0},
  };
  for (const auto &c : cases) {
    std::array<std::uint8_t, kPageBufferSize> page{};
    bytes::put_be16(page, 2, c.page_length);
    EXPECT_EQ(log_entry_count(page, c.code), c.count) << c.code << " " << c.page_length;
  }
}

struct record_count_case {
  std::uint32_t field;  // record_bytes (0x80) or event_log_length (0xF4)
  int count;
};

TEST(LogEntryCount, EventLogsNeverExceedTheWorkBuffer) {
  const record_count_case ram[] = {{0, 0},      {31, 0},      {32, 1},      {63, 1},
                                   {6399, 199}, {6400, 200},  {6432, 200},  {0xFFFF, 200}};
  for (const auto &c : ram) {
    std::array<std::uint8_t, kPageBufferSize> page{};
    bytes::put_be16(page, 18, static_cast<std::uint16_t>(c.field));
    EXPECT_EQ(log_entry_count(page, 0x80), c.count) << c.field;
  }
  const record_count_case flash[] = {{0, 0},  {47, 0},   {48, 0},    {79, 0},
                                     {80, 1}, {6448, 200}, {6480, 200}, {0xFFFFFFFFu, 200}};
  for (const auto &c : flash) {
    std::array<std::uint8_t, kPageBufferSize> page{};
    bytes::put_le32(page, 16, 120);
    bytes::put_le32(page, 20, c.field);
    EXPECT_EQ(log_entry_count(page, 0xF4), c.count) << c.field;
  }
}

}  // namespace
