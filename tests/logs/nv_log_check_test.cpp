// log_check of the NV log image: crash dump text and flash event records,
// with areas and event logs reaching past the bytes held.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "logs/logs.h"
#include "logs/page_builders.h"
#include "support/temp_log.h"

namespace {

using testlogs::bytevec;

constexpr char kRegsHeading[] =
    "registers(32 GPRs and 55 CP0 Regs, starts from EPC and Index respectively)\n";
constexpr char kFlashHeading[] = "\nEvent Log Content in flash\n";

struct nv_fixture {
  testsupport::TempLog log;
  std::array<std::uint8_t, kPageBufferSize> page{};
  std::array<std::uint8_t, kWorkBufferSize> work{};
  bytevec image = testlogs::nv_image_bytes(kPageBufferSize);

  // Seals the header and places the image in the page buffer.
  int check() {
    testlogs::seal_nv_header(image);
    std::copy(image.begin(), image.end(), page.begin());
    return log_check(page, work, 0xF4);
  }
};

void fill_words(bytevec &image, std::size_t offset, std::size_t words, std::uint32_t first) {
  for (std::size_t i = 0; i < words; ++i) {
    testlogs::put_le32(image, offset + 4 * i, first + static_cast<std::uint32_t>(i));
  }
}

TEST(NvCrashDump, AreasPrintedInOrderEightWordsToALine) {
  nv_fixture f;
  fill_words(f.image, 1000, 12, 0xA0000000u);
  fill_words(f.image, 1100, 3, 0x000000B0u);
  fill_words(f.image, 1200, 8, 0xC0DE0000u);
  fill_words(f.image, 1300, 2, 0xE0000001u);
  testlogs::set_area(f.image, 0, 1000, 48);  // 12 words
  testlogs::set_area(f.image, 1, 1100, 14);  // 3 words and a remainder of 2 bytes
  testlogs::set_area(f.image, 2, 1200, 32);  // one full line
  testlogs::set_area(f.image, 3, 1300, 0);   // empty
  testlogs::set_area(f.image, 4, 1300, 7);   // one word
  testlogs::set_event_log(f.image, 2000, 48);
  ASSERT_EQ(f.check(), 0);
  const std::string expected = std::string(kRegsHeading) +
      "0xa0000000 0xa0000001 0xa0000002 0xa0000003 0xa0000004 0xa0000005 0xa0000006 "
      "0xa0000007 \n0xa0000008 0xa0000009 0xa000000a 0xa000000b "
      "\n\rSystem Stack\n0x000000b0 0x000000b1 0x000000b2 "
      "\n\rActive Thread Control Block\n"
      "0xc0de0000 0xc0de0001 0xc0de0002 0xc0de0003 0xc0de0004 0xc0de0005 0xc0de0006 "
      "0xc0de0007 \n"
      "\n\rActive Thread Stack Content\n"
      "\n\rActive Thread Stack Content\n0xe0000001 " +
      kFlashHeading;
  EXPECT_EQ(f.log.text(), expected);
}

TEST(NvCrashDump, WordsAreReadLittleEndian) {
  nv_fixture f;
  f.image[600] = 0x01;
  f.image[601] = 0x02;
  f.image[602] = 0x03;
  f.image[603] = 0x84;
  testlogs::set_area(f.image, 0, 600, 4);
  ASSERT_EQ(f.check(), 0);
  EXPECT_NE(f.log.text().find(std::string(kRegsHeading) + "0x84030201 \n\rSystem Stack"),
            std::string::npos);
}

struct area_case {
  std::uint32_t offset;
  std::uint32_t length;
  std::size_t words;  // words printed
};

// Count of "0x" words between the register heading and the next heading.
std::size_t register_words(const std::string &log) {
  const std::size_t from = log.find(kRegsHeading);
  const std::size_t to = log.find("\n\rSystem Stack\n");
  if (from == std::string::npos || to == std::string::npos) return 9999;
  std::size_t n = 0;
  for (std::size_t at = log.find("0x", from); at < to; at = log.find("0x", at + 2)) ++n;
  return n;
}

TEST(NvCrashDump, AreaIsCutToThePageBuffer) {
  const area_case cases[] = {
      {8496, 4, 1},          {8496, 8, 1},          {8497, 4, 0},
      {8500, 4, 0},          {8501, 64, 0},         {0xFFFFFFFCu, 8, 0},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0}, {8000, 0xFFFFFFFFu, 125}, {120, 0xFFFFFFF0u, 2095},
      {8436, 64, 16},        {8437, 64, 15},        {0, 3, 0},
  };
  for (const auto &c : cases) {
    nv_fixture f;
    testlogs::set_area(f.image, 0, c.offset, c.length);
    ASSERT_EQ(f.check(), 0) << c.offset << "+" << c.length;
    EXPECT_EQ(register_words(f.log.text()), c.words) << c.offset << "+" << c.length;
  }
}

TEST(NvCrashDump, LastWordInsideThePageBufferIsPrinted) {
  nv_fixture f;
  testlogs::put_le32(f.image, 8496, 0x5EED0001u);
  testlogs::set_area(f.image, 0, 8496, 400);
  ASSERT_EQ(f.check(), 0);
  EXPECT_NE(f.log.text().find(std::string(kRegsHeading) + "0x5eed0001 \n\rSystem Stack"),
            std::string::npos);
}

struct flash_case {
  std::uint32_t offset;
  std::uint32_t length;
  int records;  // copied into the work buffer and counted
};

TEST(NvFlashEvents, RecordsCopiedWithinBounds) {
  const flash_case cases[] = {
      {200, 0, 0},
      {200, 47, 0},
      {200, 48, 0},
      {200, 48 + 31, 0},
      {200, 48 + 32, 1},
      {200, 48 + 63, 1},
      {200, 48 + 32 * 200, 200},
      {200, 48 + 32 * 201, 200},
      {200, 0xFFFFFFFFu, 200},
      {8500 - 48 - 64, 48 + 32 * 5, 2},
      {8500 - 48 - 63, 48 + 32 * 5, 1},
      {8500 - 48, 48 + 32, 0},
      {8500 - 47, 48 + 32, 0},
      {0xFFFFFFF0u, 48 + 32 * 3, 0},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0},
  };
  for (const auto &c : cases) {
    nv_fixture f;
    for (std::size_t i = 120; i < f.image.size(); ++i) f.image[i] = static_cast<std::uint8_t>(i % 253 + 1);
    testlogs::set_event_log(f.image, c.offset, c.length);
    ASSERT_EQ(f.check(), 0) << c.offset << "+" << c.length;
    EXPECT_EQ(log_entry_count(f.page, 0xF4), c.records) << c.offset << "+" << c.length;
    const std::size_t copied = 32 * static_cast<std::size_t>(c.records);
    if (copied > 0) {
      EXPECT_EQ(std::memcmp(f.work.data(), f.page.data() + c.offset + 48, copied), 0);
    }
    EXPECT_TRUE(std::all_of(f.work.begin() + static_cast<std::ptrdiff_t>(copied), f.work.end(),
                            [](std::uint8_t b) { return b == 0; }))
        << c.offset << "+" << c.length;
  }
}

TEST(NvFlashEvents, RecordWordsKeptAsStoredLittleEndian) {
  nv_fixture f;
  testlogs::set_event_log(f.image, 400, 48 + 32);
  testlogs::put_le32(f.image, 448 + 12, 0x00000007u);   // number
  testlogs::put_le32(f.image, 448 + 16, 0x001A0001u);   // event_code
  ASSERT_EQ(f.check(), 0);
  std::uint32_t number;
  std::uint32_t code;
  std::memcpy(&number, f.work.data() + 12, 4);
  std::memcpy(&code, f.work.data() + 16, 4);
  EXPECT_EQ(number, 7u);
  EXPECT_EQ(code, 0x001A0001u);
}

}  // namespace
