// Columns of one decoded event line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/sizes.h"

// Field kinds understood by analysis_byte; any other kind writes nothing.
inline constexpr int kFieldSeverity = 1;  // severity name, or level in hex
inline constexpr int kFieldTime = 2;      // time text of (value:second value)
inline constexpr int kFieldNumber = 4;    // "%-3d "
inline constexpr int kFieldEvent = 5;     // quoted message, or the code in hex
inline constexpr int kFieldParam1 = 6;    // "0x%08x "
inline constexpr int kFieldParam2 = 7;
inline constexpr int kFieldParam3 = 8;

// Writes the column text of value into field with sprintf_s (size 2048).
// second is read only for kFieldTime, as the low half of the time count.
void analysis_byte(std::int32_t value, std::int32_t second, int kind,
                   text_span field);

// Words of one event record as the decoders read them.
namespace event_record {
// Event record: eight 32-bit words, host order in the work buffer (log_check
// converted the RAM log's; the flash log's are stored that way).
inline constexpr std::size_t kSeverityWord = 0;
inline constexpr std::size_t kTimeHigh = 1;
inline constexpr std::size_t kTimeLow = 2;
inline constexpr std::size_t kNumber = 3;
inline constexpr std::size_t kEventCode = 4;
inline constexpr std::size_t kParam1 = 5;
inline constexpr std::size_t kParam2 = 6;
inline constexpr std::size_t kParam3 = 7;
}  // namespace event_record

// Word number word of record, or 0 when the record does not hold it.
std::int32_t record_word(std::span<const std::uint8_t> record, std::size_t word);
