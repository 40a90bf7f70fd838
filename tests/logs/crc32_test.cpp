// CRC-32/BZIP2 and the NV log header check that rests on it.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "logs/logs.h"
#include "logs/page_builders.h"
#include "support/temp_log.h"

namespace {

using testlogs::bytevec;

TEST(Crc32, CheckValueOfTheCatalogue) {
  const char *check = "123456789";
  EXPECT_EQ(crc32(reinterpret_cast<const std::uint8_t *>(check), 9), 0xFC891918u);
}

TEST(Crc32, TableMatchesBitwiseRegisterShift) {
  EXPECT_EQ(crc32_lut[0], 0x00000000u);
  EXPECT_EQ(crc32_lut[1], 0x04C11DB7u);
  EXPECT_EQ(crc32_lut[2], 0x09823B6Eu);
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t reg = n << 24;
    for (int i = 0; i < 8; ++i) reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
    EXPECT_EQ(crc32_lut[n], reg) << "entry " << n;
  }
}

TEST(Crc32, AgreesWithBitwiseCrcOnEveryLengthAndByteValue) {
  std::array<std::uint8_t, 300> data{};
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 151 + 7);
  for (std::uint32_t len = 1; len <= data.size(); ++len) {
    ASSERT_EQ(crc32(data.data(), len), testlogs::reference_crc32(data.data(), len)) << len;
  }
}

TEST(Crc32, EmptyRunPrintsItsMessageAndGivesZero) {
  const std::uint8_t byte = 0x31;
  testing::internal::CaptureStdout();
  const std::uint32_t crc = crc32(&byte, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "do not crc the file\n\r");
  EXPECT_EQ(crc, 0u);
}

// A minimal NV log image in a page buffer: a header and nothing to dump.
std::array<std::uint8_t, kPageBufferSize> sealed_nv_page() {
  bytevec image = testlogs::nv_image_bytes(200);
  for (std::size_t i = 0; i < 16; ++i) image[i] = static_cast<std::uint8_t>(0xA0 + i);
  testlogs::set_event_log(image, 120, 48);
  testlogs::seal_nv_header(image);
  std::array<std::uint8_t, kPageBufferSize> page{};
  std::memcpy(page.data(), image.data(), image.size());
  return page;
}

TEST(NvHeaderCrc, CorrectCrcIsAccepted) {
  testsupport::TempLog log;
  auto page = sealed_nv_page();
  std::array<std::uint8_t, kWorkBufferSize> work{};
  EXPECT_EQ(log_check(page, work, 0xF4), 0);
}

TEST(NvHeaderCrc, EveryOneBitChangeOfHeaderOrCrcIsRejectedSilently) {
  testsupport::TempLog log;
  const auto good = sealed_nv_page();
  for (std::size_t bit = 0; bit < 120 * 8; ++bit) {
    auto page = good;
    page[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    std::array<std::uint8_t, kWorkBufferSize> work{};
    ASSERT_EQ(log_check(page, work, 0xF4), -1) << "bit " << bit;
  }
  EXPECT_EQ(log.text(), "");
}

TEST(NvHeaderCrc, ClearedPageFails) {
  testsupport::TempLog log;
  std::array<std::uint8_t, kPageBufferSize> page{};
  std::array<std::uint8_t, kWorkBufferSize> work{};
  EXPECT_EQ(log_check(page, work, 0xF4), -1);
}

}  // namespace
