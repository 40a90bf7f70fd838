// Collection and checking of the expander's logs and SES status pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t kPageBufferSize = 8500;  // heap page buffer per page
inline constexpr std::size_t kWorkBufferSize = 6400;  // decoded-from work buffer
inline constexpr int kMaxEventRecords = 200;          // 32-byte records in the work buffer

// Fetches, checks and decodes one page into the operation log; 0 or -1.
int incollect_log(const char *dev, int page_code);

// Checks the page and fills the work buffer for the decoders; 0 or -1.
int log_check(std::span<const std::uint8_t, kPageBufferSize> page,
              std::span<std::uint8_t, kWorkBufferSize> work, int page_code);

// CRC-32/BZIP2 of data[0..len).
std::uint32_t crc32(const std::uint8_t *data, std::uint32_t len);
