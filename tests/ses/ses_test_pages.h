// Building SES pages in a work buffer for the page decoder tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "logs/logs.h"

namespace sestest {

using work_buffer = std::array<std::uint8_t, kWorkBufferSize>;

// On the heap and exactly 6400 bytes, so the sanitizer sees any read past it.
inline std::unique_ptr<work_buffer> make_work() { return std::make_unique<work_buffer>(); }

// Page code and page_length as a page carries them; the held copy is
// page_length + 4 bytes. The bytes after it are set to poison, so a decoder
// that reads past the copy shows it in its text.
inline void put_header(work_buffer &work, std::uint8_t code, std::uint16_t page_length,
                       std::uint8_t poison = 0xFF) {
  work[0] = code;
  bytes::put_be16(work, 2, page_length);
  for (std::size_t i = page_length + 4u; i < work.size(); ++i) work[i] = poison;
}

// text with the one occurrence of from replaced by to; a test failure when
// from does not occur exactly once.
inline std::string replace_once(const std::string &text, const std::string &from,
                                const std::string &to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at == std::string::npos) return text;
  EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from;
  std::string out = text;
  out.replace(at, from.size(), to);
  return out;
}

}  // namespace sestest
