// Hand-built log pages for the log-road tests: RAM event log pages, NV log
// images with their header CRC, and the chunk sequence of page 0xF4.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/page_bytes.h"

namespace testlogs {

using record = std::array<std::uint32_t, 8>;
using page_bytes::bytevec;
using page_bytes::put_be16;
using page_bytes::put_be32;
using page_bytes::put_le32;

// CRC-32/BZIP2 computed bit by bit, independent of the table-driven crc32.
std::uint32_t reference_crc32(const std::uint8_t *data, std::size_t len);

// Page 0x80 holding the records big-endian, with page_length, record_bytes
// (32 per record unless given) and a correct record_sum.
bytevec ram_page(const std::vector<record> &records);

// Unsigned byte sum of page bytes [32, 32 + record_bytes), as the check sums.
std::uint32_t record_bytes_sum(const bytevec &page, std::size_t record_bytes);

// An NV log image of size bytes, zero-filled, whose header fields are set by
// the callers and sealed with seal_nv_header.
bytevec nv_image_bytes(std::size_t size);
void set_area(bytevec &image, int area, std::uint32_t offset, std::uint32_t length);
void set_event_log(bytevec &image, std::uint32_t offset, std::uint32_t length);
void seal_nv_header(bytevec &image);

// One chunk page of page 0xF4 carrying data[from, from + n) of an image of
// image_size bytes, with the given chunk_offset field.
bytevec nv_chunk_page(const bytevec &image, std::size_t from, std::size_t n,
                      std::uint32_t chunk_offset, std::uint32_t image_size);

// The whole image cut into chunks of at most chunk_data bytes, well formed.
std::vector<bytevec> nv_chunks(const bytevec &image, std::size_t chunk_data);

}  // namespace testlogs
