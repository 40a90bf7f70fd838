// The bounded readers and writers of device page fields, and the checked
// page builder on top of them.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "common/bytes.h"
#include "common/page_bytes.h"

namespace {

constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max();

constexpr std::array<std::uint8_t, 6> kPage = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};

// Each reader at every kind of place: inside, flush with the end, one byte
// over, past the end, and at offsets where off + n wraps around.
TEST(Bytes, ReadersYieldZeroForAFieldNotWhollyHeld) {
  const std::span<const std::uint8_t> s(kPage);
  const struct {
    std::size_t off;
    std::uint8_t u8;
    std::uint16_t be16;
    std::uint32_t be32;
    std::uint32_t le32;
  } cases[] = {
      {0, 0x12, 0x1234, 0x12345678, 0x78563412},
      {2, 0x56, 0x5678, 0x56789ABC, 0xBC9A7856},  // be32/le32 flush with the end
      {3, 0x78, 0x789A, 0, 0},                     // four bytes: one over
      {4, 0x9A, 0x9ABC, 0, 0},
      {5, 0xBC, 0, 0, 0},
      {6, 0, 0, 0, 0},
      {7, 0, 0, 0, 0},
      {kHuge, 0, 0, 0, 0},
      {kHuge - 1, 0, 0, 0, 0},
      {kHuge - 3, 0, 0, 0, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(bytes::u8(s, c.off), c.u8) << c.off;
    EXPECT_EQ(bytes::be16(s, c.off), c.be16) << c.off;
    EXPECT_EQ(bytes::be32(s, c.off), c.be32) << c.off;
    EXPECT_EQ(bytes::le32(s, c.off), c.le32) << c.off;
  }
  EXPECT_EQ(bytes::be32({}, 0), 0u);
  EXPECT_TRUE(bytes::fits({}, 0, 0));
  EXPECT_FALSE(bytes::fits(s, 1, kHuge));
  EXPECT_FALSE(bytes::fits(s, kHuge, 1));
}

// The writers store the field when it is wholly inside and nothing at all
// otherwise: not the part that would fit.
TEST(Bytes, WritersStoreNothingOutside) {
  const struct {
    std::size_t off;
    std::array<std::uint8_t, 6> be16, be32, le32;
  } cases[] = {
      {0, {0xA1, 0xB2, 0, 0, 0, 0}, {0xA1, 0xB2, 0xC3, 0xD4, 0, 0}, {0xD4, 0xC3, 0xB2, 0xA1, 0, 0}},
      {2, {0, 0, 0xA1, 0xB2, 0, 0}, {0, 0, 0xA1, 0xB2, 0xC3, 0xD4}, {0, 0, 0xD4, 0xC3, 0xB2, 0xA1}},
      {3, {0, 0, 0, 0xA1, 0xB2, 0}, {}, {}},
      {5, {}, {}, {}},
      {kHuge - 1, {}, {}, {}},
  };
  for (const auto &c : cases) {
    std::array<std::uint8_t, 6> a{};
    bytes::put_be16(a, c.off, 0xA1B2);
    EXPECT_EQ(a, c.be16) << c.off;
    a = {};
    bytes::put_be32(a, c.off, 0xA1B2C3D4);
    EXPECT_EQ(a, c.be32) << c.off;
    a = {};
    bytes::put_le32(a, c.off, 0xA1B2C3D4);
    EXPECT_EQ(a, c.le32) << c.off;
  }
}

// What the builder writes, the readers read back.
TEST(PageBytes, WritesReadBackAndTheLengthIsSealed) {
  page_bytes::bytevec page(22);
  page_bytes::put_be16(page, 4, 0xBEEF);
  page_bytes::put_be32(page, 6, 0x01020304);
  page_bytes::put_le32(page, 10, 0x01020304);
  page_bytes::put_be64(page, 14, 0x1122334455667788ull);
  page_bytes::seal_page_length(page);
  EXPECT_EQ(bytes::be16(page, 2), 18);
  EXPECT_EQ(bytes::be16(page, 4), 0xBEEF);
  EXPECT_EQ(bytes::be32(page, 6), 0x01020304u);
  EXPECT_EQ(bytes::le32(page, 10), 0x01020304u);
  EXPECT_EQ(bytes::be32(page, 14), 0x11223344u);
  EXPECT_EQ(bytes::be32(page, 18), 0x55667788u);
}

// A write outside the page is the builder's fault: it stops there.
TEST(PageBytesDeathTest, WriteOutsideThePageStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  page_bytes::bytevec page(8);
  EXPECT_DEATH(page_bytes::put_be32(page, 5, 1), "4 bytes at 5 of a 8-byte page");
  EXPECT_DEATH(page_bytes::put_le32(page, kHuge - 1, 1), "page builder");
  page_bytes::bytevec short_page(3);
  EXPECT_DEATH(page_bytes::seal_page_length(short_page), "page builder");
}

}  // namespace
