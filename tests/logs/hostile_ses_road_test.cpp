// SES pages whose page_length reaches or passes the work buffer, through the
// whole road: the count handed on is the page's own, the copy decides what
// the decoders may see, and nothing past the bytes held is read (the
// sanitizer build checks the reads).
#include <gtest/gtest.h>

#include <string>

#include "logs/fake_expander.h"
#include "logs/logs.h"
#include "logs/page_builders.h"
#include "support/temp_log.h"

namespace {

using testlogs::bytevec;

std::size_t occurrences(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct hostile_ses_case {
  int code;
  std::uint16_t page_length;
  const char *item;   // text logged once per decoded entry
  std::size_t items;  // entries decoded
};

TEST(HostileSesRoad, LongPagesDecodeOnlyWhatTheCopyHolds) {
  const hostile_ses_case cases[] = {
      // Copied whole (6400 bytes): every element the work buffer holds.
      {0x02, 6396, "descriptor:\n", 1 + 1597},
      {0xF3, 6396, "phy_id:", 68},
      // Refused by the bounded copy: the work buffer stays cleared.
      {0x02, 6397, "Element 0 descriptor", 0},
      {0x02, 0xFFFF, "Element 0 descriptor", 0},
      {0x0A, 6397, "Element", 0},
      {0x0A, 0xFFFF, "Element", 0},
      {0xF3, 6397, "phy_id:", 0},
      {0xF3, 0xFFFF, "phy_id:", 0},
  };
  for (const auto &c : cases) {
    for (std::uint8_t fill : {0x00, 0xFF}) {
      testsupport::TempLog log;
      testlogs::fake_expander fake;
      bytevec page(2048, fill);
      page[0] = static_cast<std::uint8_t>(c.code);
      testlogs::put_be16(page, 2, c.page_length);
      fake.always(c.code, page);
      EXPECT_EQ(incollect_log("/dev/sg-fake", c.code), 0) << c.code << " " << c.page_length;
      EXPECT_EQ(occurrences(log.text(), c.item), c.items)
          << c.code << " " << c.page_length << " fill " << int{fill};
    }
  }
}

// A 0x0A page full of descriptors that claim more than the page holds: the
// walk ends inside the copy.
TEST(HostileSesRoad, AdditionalElementWalkStaysInsideTheCopy) {
  for (std::uint16_t page_length : {40, 1000, 2044, 6396}) {
    testsupport::TempLog log;
    testlogs::fake_expander fake;
    bytevec page(2048, 0xFF);
    page[0] = 0x0A;
    testlogs::put_be16(page, 2, page_length);
    fake.always(0x0A, page);
    EXPECT_EQ(incollect_log("/dev/sg-fake", 0x0A), 0) << page_length;
    EXPECT_NE(log.text().find("Additional element status diagnostic page: (0x0A)"), std::string::npos);
  }
}

}  // namespace
