// log_check of the RAM event log page and of the SES status pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "logs/logs.h"
#include "logs/page_builders.h"

namespace {

using testlogs::bytevec;
using testlogs::record;

// The page buffer, and a work buffer followed by canary bytes.
struct buffers {
  std::array<std::uint8_t, kPageBufferSize> page{};
  std::array<std::uint8_t, kWorkBufferSize + 64> work_and_canary{};
  buffers() { std::fill(work_and_canary.begin(), work_and_canary.end(), 0xC5); }
  std::span<std::uint8_t, kWorkBufferSize> work() {
    return std::span<std::uint8_t, kWorkBufferSize>(work_and_canary.data(), kWorkBufferSize);
  }
  void load(const bytevec &bytes) {
    std::copy_n(bytes.begin(), std::min(bytes.size(), page.size()), page.begin());
  }
  bool canary_intact() const {
    return std::all_of(work_and_canary.begin() + kWorkBufferSize, work_and_canary.end(),
                       [](std::uint8_t b) { return b == 0xC5; });
  }
  std::uint32_t word(std::size_t record_index, std::size_t w) const {
    std::uint32_t v;
    std::memcpy(&v, work_and_canary.data() + 32 * record_index + 4 * w, 4);
    return v;
  }
};

record numbered(std::uint32_t n) {
  return {0x00020004u + n, 0x11223344u, 0x55667788u + n, n, 0x001A0001u, n * 3, 0xFFFFFFFFu, 0};
}

std::vector<record> numbered_records(std::size_t n) {
  std::vector<record> records;
  for (std::size_t i = 0; i < n; ++i) records.push_back(numbered(static_cast<std::uint32_t>(i)));
  return records;
}

TEST(RamLogCheck, RecordWordsArriveInHostOrder) {
  buffers b;
  bytevec page = testlogs::ram_page({{0}});
  for (std::size_t i = 0; i < 32; ++i) page[32 + i] = static_cast<std::uint8_t>(i + 1);
  testlogs::put_be32(page, 20, testlogs::record_bytes_sum(page, 32));
  b.load(page);
  ASSERT_EQ(log_check(b.page, b.work(), 0x80), 0);
  EXPECT_EQ(b.word(0, 0), 0x01020304u);
  EXPECT_EQ(b.word(0, 7), 0x1D1E1F20u);
  EXPECT_TRUE(b.canary_intact());
}

TEST(RamLogCheck, EveryRecordConvertedWordByWord) {
  buffers b;
  const auto records = numbered_records(50);
  b.load(testlogs::ram_page(records));
  ASSERT_EQ(log_check(b.page, b.work(), 0x80), 0);
  for (std::size_t n = 0; n < records.size(); ++n) {
    for (std::size_t w = 0; w < 8; ++w) ASSERT_EQ(b.word(n, w), records[n][w]) << n << "/" << w;
  }
  EXPECT_EQ(b.word(50, 0), 0xC5C5C5C5u);  // past the records: untouched
}

TEST(RamLogCheck, ChecksumAddsBytesUnsigned) {
  buffers b;
  bytevec page = testlogs::ram_page({{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                                      0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}});
  testlogs::put_be32(page, 20, 32 * 255);
  b.load(page);
  EXPECT_EQ(log_check(b.page, b.work(), 0x80), 0);
}

TEST(RamLogCheck, MismatchFailsButRecordsStayConverted) {
  buffers b;
  bytevec page = testlogs::ram_page(numbered_records(2));
  page[23] ^= 1;
  b.load(page);
  EXPECT_EQ(log_check(b.page, b.work(), 0x80), -1);
  EXPECT_EQ(b.word(1, 3), 1u);
}

TEST(RamLogCheck, RemainderOfRecordBytesIsIgnoredForRecordsAndSum) {
  buffers b;
  bytevec page = testlogs::ram_page(numbered_records(3));
  testlogs::put_be16(page, 18, 2 * 32 + 31);  // the third record is incomplete
  testlogs::put_be32(page, 20, testlogs::record_bytes_sum(page, 64));
  b.load(page);
  EXPECT_EQ(log_check(b.page, b.work(), 0x80), 0);
  EXPECT_EQ(b.word(2, 0), 0xC5C5C5C5u);  // the incomplete record: untouched
  EXPECT_EQ(log_entry_count(b.page, 0x80), 2);
}

struct ram_header_case {
  const char *what;
  std::uint16_t page_length;
  std::uint16_t record_bytes;
  std::uint32_t record_sum;
  int result;
};

TEST(RamLogCheck, HeaderCases) {
  const ram_header_case cases[] = {
      {"no records, zero sum", 28, 0, 0, 0},
      {"record_bytes below one record", 28, 31, 0, 0},
      {"page_length zero", 0, 0, 0, -1},
      {"no records, sum not zero", 28, 0, 1, -1},
  };
  for (const auto &c : cases) {
    buffers b;
    bytevec page(32);
    testlogs::put_be16(page, 2, c.page_length);
    testlogs::put_be16(page, 18, c.record_bytes);
    testlogs::put_be32(page, 20, c.record_sum);
    b.load(page);
    EXPECT_EQ(log_check(b.page, b.work(), 0x80), c.result) << c.what;
    EXPECT_EQ(log_entry_count(b.page, 0x80), 0) << c.what;
  }
}

struct record_limit_case {
  std::size_t declared;   // records that record_bytes declares
  int converted;          // records converted and counted
  std::size_t summed;     // records the checksum covers
};

// Records past the 200 that the work buffer holds are summed but not kept;
// records past the page buffer are neither.
TEST(RamLogCheck, RecordLimits) {
  const record_limit_case cases[] = {
      {199, 199, 199}, {200, 200, 200}, {201, 200, 201},
      {264, 200, 264}, {265, 200, 264}, {2047, 200, 264},
  };
  for (const auto &c : cases) {
    buffers b;
    for (std::size_t i = 32; i < b.page.size(); ++i) b.page[i] = static_cast<std::uint8_t>(i % 251);
    bytes::put_be16(b.page, 2, 2044);
    bytes::put_be16(b.page, 18, static_cast<std::uint16_t>(32 * c.declared));
    std::uint32_t sum = 0;
    for (std::size_t i = 32; i < 32 + 32 * c.summed; ++i) sum += b.page[i];
    bytes::put_be32(b.page, 20, sum);
    EXPECT_EQ(log_check(b.page, b.work(), 0x80), 0) << c.declared;
    EXPECT_EQ(log_entry_count(b.page, 0x80), c.converted) << c.declared;
    EXPECT_EQ(ram_log_sum_record_count(b.page), c.summed) << c.declared;
    const std::uint32_t last = b.word(static_cast<std::size_t>(c.converted) - 1, 0);
    EXPECT_EQ(last, bytes::be32(b.page, 32 * static_cast<std::size_t>(c.converted))) << c.declared;
    EXPECT_TRUE(b.canary_intact()) << c.declared;
  }
}

// The sum over the declared records decides, also for records past the 200.
TEST(RamLogCheck, SumBeyondTwoHundredRecordsStillCounts) {
  buffers b;
  bytes::put_be16(b.page, 2, 2044);
  bytes::put_be16(b.page, 18, 32 * 210);
  b.page[32 + 32 * 205] = 0x40;  // a byte of record 205
  bytes::put_be32(b.page, 20, 0);
  EXPECT_EQ(log_check(b.page, b.work(), 0x80), -1);
  bytes::put_be32(b.page, 20, 0x40);
  EXPECT_EQ(log_check(b.page, b.work(), 0x80), 0);
}

TEST(SesPageCheck, PageCopiedUnchangedForEachCode) {
  for (int code : {0x02, 0x0A, 0xF3}) {
    buffers b;
    for (std::size_t i = 0; i < 2048; ++i) b.page[i] = static_cast<std::uint8_t>(i * 7 + 1);
    bytes::put_be16(b.page, 2, 100);
    ASSERT_EQ(log_check(b.page, b.work(), code), 0) << code;
    EXPECT_EQ(std::memcmp(b.work_and_canary.data(), b.page.data(), 104), 0) << code;
    EXPECT_TRUE(std::all_of(b.work_and_canary.begin() + 104,
                            b.work_and_canary.begin() + kWorkBufferSize,
                            [](std::uint8_t x) { return x == 0xC5; }))
        << code;
  }
}

struct ses_length_case {
  std::uint16_t page_length;
  int result;
  std::size_t copied;  // 0: work buffer cleared (or untouched for a failure)
};

TEST(SesPageCheck, CopyBoundaryAtTheWorkBuffer) {
  const ses_length_case cases[] = {
      {0, -1, 0}, {1, 0, 5}, {6395, 0, 6399}, {6396, 0, 6400}, {6397, 0, 0}, {0xFFFF, 0, 0},
  };
  for (int code : {0x02, 0x0A, 0xF3}) {
    for (const auto &c : cases) {
      buffers b;
      for (std::size_t i = 4; i < b.page.size(); ++i) b.page[i] = static_cast<std::uint8_t>(i | 1);
      b.page[0] = static_cast<std::uint8_t>(code);
      bytes::put_be16(b.page, 2, c.page_length);
      ASSERT_EQ(log_check(b.page, b.work(), code), c.result) << code << " " << c.page_length;
      const auto work = b.work();
      if (c.result != 0) {
        EXPECT_TRUE(std::all_of(work.begin(), work.end(), [](std::uint8_t x) { return x == 0xC5; }));
      } else if (c.copied == 0) {
        EXPECT_TRUE(std::all_of(work.begin(), work.end(), [](std::uint8_t x) { return x == 0; }))
            << code << " " << c.page_length;
      } else {
        EXPECT_EQ(std::memcmp(work.data(), b.page.data(), c.copied), 0) << c.page_length;
      }
      EXPECT_TRUE(b.canary_intact());
    }
  }
}

TEST(LogCheck, OtherPageCodesPassUntouched) {
  for (int code : {0x00, 0x04, 0x82, 0x91, 0x1F4}) {
    buffers b;
    EXPECT_EQ(log_check(b.page, b.work(), code), 0) << code;
    const auto work = b.work();
    EXPECT_TRUE(std::all_of(work.begin(), work.end(), [](std::uint8_t x) { return x == 0xC5; }));
  }
}

TEST(LogCheck, AbsentPageBufferFails) {
  buffers b;
  const std::span<const std::uint8_t, kPageBufferSize> none(static_cast<const std::uint8_t *>(nullptr),
                                                             kPageBufferSize);
  for (int code : {0x80, 0xF4, 0x02, 0x0A, 0xF3, 0x82}) {
    EXPECT_EQ(log_check(none, b.work(), code), -1) << code;
  }
}

}  // namespace
