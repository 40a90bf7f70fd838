// Diagnostic page codes the program reads or writes; the low 8 bits travel in
// the command.
#pragma once

inline constexpr int kPageEnclosureStatus = 0x02;  // SES Enclosure Status (read)
inline constexpr int kPageStringOut = 0x04;        // String Out: download pieces, reset (write)
inline constexpr int kPageAdditionalElement = 0x0A;  // SES Additional Element Status (read)
inline constexpr int kPageRamLog = 0x80;           // RAM event log (read)
inline constexpr int kPageFirmwareStatus = 0x82;   // firmware status (read)
inline constexpr int kPageActivate = 0x91;         // firmware image activation (write)
inline constexpr int kPageSssf = 0xF3;             // vendor SSSF status (read)
inline constexpr int kPageNvLog = 0xF4;            // NV crash log chunks (read)
