// The page vocabulary: the header accessor never reads past the bytes held,
// the log command's pages keep their order and labels, and the signature test
// agrees on every length.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/page_codes.h"
#include "sg/download_piece.h"

namespace {

struct header_case {
  std::vector<std::uint8_t> bytes;
  std::uint16_t length;
  std::size_t declared;
};

TEST(PageVocabulary, HeaderLengthAndDeclaredSize) {
  const header_case cases[] = {
      {{}, 0, 4},
      {{0x80, 0x00, 0x01}, 0, 4},  // length field cut: read as 0
      {{0x80, 0x00, 0x01, 0xBC}, 0x01BC, 0x01C0},
      {{0x02, 0x00, 0xFF, 0xFF, 0x00}, 0xFFFF, 0x10003},
      {{0x0A, 0x00, 0x00, 0x00}, 0, 4},
  };
  for (const header_case &c : cases) {
    EXPECT_EQ(page_header::length(c.bytes), c.length);
    EXPECT_EQ(page_header::declared_size(c.bytes), c.declared);
  }
}

TEST(PageVocabulary, LogPagesInTheLogCommandsOrder) {
  const std::array<int, 4> codes = {0x80, 0x02, 0x0A, 0xF3};
  const std::array<std::string, 4> labels = {"RAM log", "PAGE code 0x02", "PAGE code 0x0A",
                                             "PAGE code 0xF3"};
  ASSERT_EQ(kLogPages.size(), codes.size());
  for (std::size_t i = 0; i < codes.size(); ++i) {
    EXPECT_EQ(kLogPages[i].code, codes[i]);
    EXPECT_EQ(kLogPages[i].label, labels[i]);
  }
  EXPECT_STREQ(kLogPageCodesText.data(), "0x80, 0x02, 0x0A, 0xF3");
  for (int code = 0; code < 256; ++code) {
    const bool listed = code == 0x80 || code == 0x02 || code == 0x0A || code == 0xF3;
    EXPECT_EQ(is_log_page(code), listed) << code;
  }
}

TEST(PageVocabulary, FirmwareSignature) {
  using download_piece::has_firmware_signature;
  const std::vector<std::uint8_t> firmware = {0x50, 0x4D, 0x43, 0x00, 0x12};
  EXPECT_TRUE(has_firmware_signature(firmware));
  EXPECT_TRUE(has_firmware_signature(std::span(firmware).first(4)));
  EXPECT_FALSE(has_firmware_signature(std::span(firmware).first(3)));
  EXPECT_FALSE(has_firmware_signature({}));
  for (std::size_t i = 0; i < 4; ++i) {
    std::vector<std::uint8_t> changed = firmware;
    changed[i] ^= 0x01;
    EXPECT_FALSE(has_firmware_signature(changed)) << i;
  }
}

}  // namespace
