// Columns of one decoded event line.
#pragma once

#include <cstdint>

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
