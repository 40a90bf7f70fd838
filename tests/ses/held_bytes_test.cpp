// Random pages through the three SES decoders: whatever lies after the page
// copy in the work buffer must never change the text, so no decoder reads
// past the bytes held. Run under the sanitizer build as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "decode/decode.h"
#include "ses_test_pages.h"
#include "support/temp_log.h"

namespace {

std::string decode(const sestest::work_buffer &work, int count, int page) {
  testsupport::TempLog log;
  EXPECT_EQ(analysis_log(work, count, page), 0);
  return log.text();
}

int count_for(int page, int page_length) {
  switch (page) {
    case 0x02: return (page_length - 8) / 4;
    case 0x0A: return (page_length - 4) / 36;
    default: return page_length >> 3;
  }
}

TEST(SesHeldBytes, TextDependsOnlyOnThePageCopy) {
  std::mt19937 rng(20201);
  const int pages[] = {0x02, 0x0A, 0xF3};
  for (int i = 0; i < 240; ++i) {
    const int page = pages[i % 3];
    // Mostly short pages, some at the edge of the work buffer (the enclosure
    // page's edge has its own test: thousands of lines are slow to log).
    int page_length = static_cast<int>(rng() % 400);
    if (i % 20 == 1 && page != 0x02) page_length = 6390 + static_cast<int>(rng() % 8);
    const int count = i % 2 == 0 ? count_for(page, page_length)
                                 : static_cast<int>(rng() % 300) - 10;
    auto work = sestest::make_work();
    for (int k = 0; k < page_length + 4 && k < 6400; ++k) {
      (*work)[k] = static_cast<std::uint8_t>(rng());
    }
    // Descriptor walks are more interesting with short descriptors.
    if (page == 0x0A && i % 4 == 1) {
      for (int k = 9; k < page_length + 4 && k < 6400; k += 2 + (*work)[k]) {
        (*work)[k] = static_cast<std::uint8_t>((*work)[k] % 64);
      }
    }
    (*work)[0] = static_cast<std::uint8_t>(page);
    sestest::put_header(*work, static_cast<std::uint8_t>(page),
                        static_cast<std::uint16_t>(page_length), 0x00);
    const std::string clear = decode(*work, count, page);
    sestest::put_header(*work, static_cast<std::uint8_t>(page),
                        static_cast<std::uint16_t>(page_length), 0xFF);
    // The enclosure page's overall element is always read from the work
    // buffer: after a short page its bytes are the buffer's cleared zeros.
    if (page == 0x02) {
      for (int k = std::max(page_length + 4, 8); k < 12; ++k) (*work)[k] = 0;
    }
    const std::string poisoned = decode(*work, count, page);
    ASSERT_TRUE(clear == poisoned) << "page " << page << " length " << page_length
                                   << " count " << count;
  }
}

}  // namespace
