#include "logs/page_builders.h"

#include <algorithm>

namespace testlogs {

std::uint32_t reference_crc32(const std::uint8_t *data, std::size_t len) {
  std::uint32_t reg = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < len; ++i) {
    reg ^= std::uint32_t{data[i]} << 24;
    for (int bit = 0; bit < 8; ++bit) {
      reg = (reg & 0x80000000u) != 0 ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
    }
  }
  return ~reg;
}

bytevec ram_page(const std::vector<record> &records) {
  bytevec page(32 + 32 * records.size());
  page[0] = 0x80;
  page_bytes::seal_page_length(page);
  put_be16(page, 18, static_cast<std::uint32_t>(32 * records.size()));
  for (std::size_t n = 0; n < records.size(); ++n) {
    for (std::size_t w = 0; w < 8; ++w) put_be32(page, 32 + 32 * n + 4 * w, records[n][w]);
  }
  put_be32(page, 20, record_bytes_sum(page, 32 * records.size()));
  return page;
}

std::uint32_t record_bytes_sum(const bytevec &page, std::size_t record_bytes) {
  std::uint32_t sum = 0;
  const std::size_t end = std::min(page.size(), 32 + record_bytes);
  for (std::size_t i = 32; i < end; ++i) sum += page[i];
  return sum;
}

bytevec nv_image_bytes(std::size_t size) { return bytevec(size, 0); }

void set_area(bytevec &image, int area, std::uint32_t offset, std::uint32_t length) {
  put_le32(image, 24 + 8 * static_cast<std::size_t>(area), offset);
  put_le32(image, 28 + 8 * static_cast<std::size_t>(area), length);
}

void set_event_log(bytevec &image, std::uint32_t offset, std::uint32_t length) {
  put_le32(image, 16, offset);
  put_le32(image, 20, length);
}

void seal_nv_header(bytevec &image) { put_le32(image, 116, reference_crc32(image.data(), 116)); }

bytevec nv_chunk_page(const bytevec &image, std::size_t from, std::size_t n,
                      std::uint32_t chunk_offset, std::uint32_t image_size) {
  bytevec page(20 + n);
  page[0] = 0xF4;
  put_be16(page, 2, static_cast<std::uint32_t>(16 + n));
  put_be32(page, 4, chunk_offset);
  put_be32(page, 8, image_size);
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(from), n, page.begin() + 20);
  return page;
}

std::vector<bytevec> nv_chunks(const bytevec &image, std::size_t chunk_data) {
  std::vector<bytevec> chunks;
  for (std::size_t from = 0; from < image.size(); from += chunk_data) {
    const std::size_t n = std::min(chunk_data, image.size() - from);
    chunks.push_back(nv_chunk_page(image, from, n, static_cast<std::uint32_t>(from),
                                   static_cast<std::uint32_t>(image.size())));
  }
  return chunks;
}

}  // namespace testlogs
