// Buffer sizes shared by every part of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Every message and decoded line is built in a text buffer of this size.
inline constexpr std::size_t kTextSize = 2048;

// Every RECEIVE DIAGNOSTIC RESULTS request asks for this many bytes.
inline constexpr std::size_t kReceiveSize = 2048;

inline constexpr std::size_t kPageBufferSize = 8500;  // heap page buffer per page
inline constexpr std::size_t kWorkBufferSize = 6400;  // decoded-from work buffer
inline constexpr std::size_t kEventRecordSize = 32;   // eight 32-bit words
inline constexpr int kMaxEventRecords = 200;          // records the work buffer holds
static_assert(kMaxEventRecords * kEventRecordSize == kWorkBufferSize);

// Records in a byte count: records are 32 bytes, so a count shifts by 5.
inline constexpr unsigned kEventRecordShift = 5;
static_assert((std::size_t{1} << kEventRecordShift) == kEventRecordSize);

using text_span = std::span<char, kTextSize>;
using page_span = std::span<std::uint8_t, kPageBufferSize>;
using const_page_span = std::span<const std::uint8_t, kPageBufferSize>;
using work_span = std::span<std::uint8_t, kWorkBufferSize>;
using const_work_span = std::span<const std::uint8_t, kWorkBufferSize>;
