#include "max_pages.h"

#include <cstddef>

#include "common/page_bytes.h"

namespace benchpages {
namespace {

using page_bytes::put_be16;
using page_bytes::put_be32;

constexpr std::size_t kReceive = 2048;

// Header 32 bytes (page_length at 2, record_bytes at 18, byte sum of the
// records at 20), then 63 records of eight big-endian words.
bytevec ram_log(stamps when) {
  constexpr std::size_t kHeader = 32;
  constexpr std::size_t kRecords = (kReceive - kHeader) / 32;
  bytevec page(kHeader + 32 * kRecords);
  page[0] = 0x80;
  page_bytes::seal_page_length(page);
  put_be16(page, 18, static_cast<std::uint32_t>(32 * kRecords));
  // 2026-12-08 and 7 ms steps; or the last days of the 64-bit count.
  const std::uint64_t base =
      when == stamps::present_day ? 63963907200000000ull : 18446744073709551615ull - 86400000000ull * 300;
  const std::uint32_t codes[] = {0x004F0002, 0x00350006, 0x00350008, 0x001A001C,
                                 0x001D000D, 0x001E000A, 0x12345678};
  for (std::size_t r = 0; r < kRecords; ++r) {
    const std::uint64_t t = base + r * (when == stamps::present_day ? 7000123ull : 86400000000ull * 4 + 17);
    const std::uint32_t words[8] = {static_cast<std::uint32_t>(r % 7),
                                    static_cast<std::uint32_t>(t >> 32),
                                    static_cast<std::uint32_t>(t),
                                    static_cast<std::uint32_t>(r + 1),
                                    codes[r % 7],
                                    static_cast<std::uint32_t>(r * 0x01010101u),
                                    0x0000A5A5u,
                                    0xFFFFFFFFu};
    for (std::size_t w = 0; w < 8; ++w) put_be32(page, kHeader + 32 * r + 4 * w, words[w]);
  }
  std::uint32_t sum = 0;
  for (std::size_t i = kHeader; i < page.size(); ++i) sum += page[i];
  put_be32(page, 20, sum);
  return page;
}

// 8-byte header, the overall element, then 509 array device slot elements.
bytevec enclosure_status() {
  bytevec page(kReceive);
  page[0] = 0x02;
  page_bytes::seal_page_length(page);
  for (std::size_t i = 8; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return page;
}

// Descriptors of one phy each (36 bytes: the most entries a byte), as many
// as the header's count ((2044 - 4) / 36 = 56) asks for.
bytevec additional_element() {
  bytevec page(kReceive);
  page[0] = 0x06;  // SAS
  page_bytes::seal_page_length(page);
  std::size_t off = 8;
  for (int n = 0; off + 36 <= page.size(); ++n, off += 36) {
    page[off] = 0x16;  // element index present, SAS
    page[off + 1] = 34;
    page[off + 2] = static_cast<std::uint8_t>(n & 3);
    page[off + 4] = 1;     // one phy
    page[off + 5] = 0x01;  // descriptor type 0, not all phys
    page[off + 7] = static_cast<std::uint8_t>(n);
    const std::size_t phy = off + 8;
    page[phy] = 0x10;
    page[phy + 2] = 0x0E;
    page[phy + 3] = 0x8F;
    for (std::size_t i = 4; i < 20; ++i) page[phy + i] = static_cast<std::uint8_t>(0x50 + i + n);
    page[phy + 20] = static_cast<std::uint8_t>(n);
  }
  return page;
}

bytevec sssf_status() {
  bytevec page(kReceive);
  page[0] = 0xF3;
  page_bytes::seal_page_length(page);
  for (std::size_t i = 4; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 13 + 5);
  return page;
}

}  // namespace

bytevec max_ram_log_page(stamps when) { return ram_log(when); }

std::map<int, bytevec> max_page_set(stamps when) {
  return {{0x80, ram_log(when)},
          {0x02, enclosure_status()},
          {0x0A, additional_element()},
          {0xF3, sssf_status()}};
}

}  // namespace benchpages
