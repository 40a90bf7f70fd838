// Diagnostic page codes the program reads or writes (the low 8 bits travel in
// the command), the header every diagnostic page starts with, and the pages
// the log command reads, in its order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/bytes.h"

inline constexpr int kPageEnclosureStatus = 0x02;  // SES Enclosure Status (read)
inline constexpr int kPageStringOut = 0x04;        // String Out: download pieces, reset (write)
inline constexpr int kPageAdditionalElement = 0x0A;  // SES Additional Element Status (read)
inline constexpr int kPageRamLog = 0x80;           // RAM event log (read)
inline constexpr int kPageFirmwareStatus = 0x82;   // firmware status (read)
inline constexpr int kPageActivate = 0x91;         // firmware image activation (write)
inline constexpr int kPageSssf = 0xF3;             // vendor SSSF status (read)
inline constexpr int kPageNvLog = 0xF4;            // NV crash log chunks (read)

// A page's name as the tools show it; "page" for a code not listed.
constexpr const char *page_name(int code) {
  switch (code) {
    case kPageEnclosureStatus: return "Enclosure Status";
    case kPageStringOut: return "String Out";
    case kPageAdditionalElement: return "Additional Element Status";
    case kPageRamLog: return "RAM event log";
    case kPageFirmwareStatus: return "firmware status";
    case kPageActivate: return "firmware activation";
    case kPageSssf: return "SSSF status";
    case kPageNvLog: return "NV crash log";
    default: return "page";
  }
}

// Every diagnostic page: the page code at byte 0, then at byte 2 a big-endian
// page_length counting the bytes that follow the 4-byte header.
namespace page_header {
inline constexpr std::size_t kCode = 0;
inline constexpr std::size_t kLengthField = 2;
inline constexpr std::size_t kSize = 4;

// The page_length field; 0 when the header is not wholly held.
constexpr std::uint16_t length(std::span<const std::uint8_t> page) {
  return bytes::be16(page, kLengthField);
}

// The bytes the page declares it holds, header included.
constexpr std::size_t declared_size(std::span<const std::uint8_t> page) {
  return std::size_t{length(page)} + kSize;
}
}  // namespace page_header

// The pages the log command collects, in its order, with the words its
// failure line names each by.
struct log_page {
  int code;
  const char *label;
};
inline constexpr std::array<log_page, 4> kLogPages = {{
    {kPageRamLog, "RAM log"},
    {kPageEnclosureStatus, "PAGE code 0x02"},
    {kPageAdditionalElement, "PAGE code 0x0A"},
    {kPageSssf, "PAGE code 0xF3"},
}};

// True for a page of kLogPages.
constexpr bool is_log_page(int code) {
  for (const log_page &page : kLogPages) {
    if (page.code == code) return true;
  }
  return false;
}

// The log pages' codes in their order as text, "0x80, 0x02, 0x0A, 0xF3", for
// messages that name what is accepted.
inline constexpr auto kLogPageCodesText = [] {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<char, kLogPages.size() * 6> text{};  // "0xNN, " each; the last ", " ends it
  std::size_t at = 0;
  for (const log_page &page : kLogPages) {
    if (at > 0) {
      text[at++] = ',';
      text[at++] = ' ';
    }
    text[at++] = '0';
    text[at++] = 'x';
    text[at++] = kDigits[(page.code >> 4) & 0xF];
    text[at++] = kDigits[page.code & 0xF];
  }
  return text;
}();
