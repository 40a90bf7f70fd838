// Collection and checking of the expander's logs and SES status pages.
//
// The road of one page: incollect_log reads it into the page buffer (through
// sg_incollect_log; page 0xF4 is assembled from chunks by incollect_nvlog),
// log_check checks it and fills the work buffer, and analysis_log decodes the
// work buffer with the entry count worked out from the page header.
//
// Every page is untrusted: no count, length or offset read from it makes the
// code touch bytes outside the buffers held.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/page_codes.h"
#include "common/sizes.h"

// RAM event log page (0x80), big-endian fields.
namespace ram_log {
inline constexpr std::size_t kPageLength = page_header::kLengthField;
inline constexpr std::size_t kRecordBytes = 18; // be16: size of the record area
inline constexpr std::size_t kRecordSum = 20;   // be32: byte sum of the records
inline constexpr std::size_t kHeaderSize = 32;  // records start here
}  // namespace ram_log

// Crash dump header at the start of the NV log image, little-endian fields.
namespace nv_log {
inline constexpr std::size_t kEventLogOffset = 16;
inline constexpr std::size_t kEventLogLength = 20;
inline constexpr std::size_t kRegsOffset = 24;   // first of five (offset, length) pairs
inline constexpr std::size_t kCrcCovered = 116;  // header_crc covers bytes 0..115
inline constexpr std::size_t kHeaderCrc = 116;
inline constexpr std::size_t kHeaderSize = 120;
inline constexpr std::uint32_t kEventAreaHeader = 48;  // flash event log header bytes
}  // namespace nv_log

// One read of page 0xF4: a big-endian chunk header, then the chunk data.
namespace nv_chunk {
inline constexpr std::size_t kPageLength = page_header::kLengthField;
inline constexpr std::size_t kChunkOffset = 4;  // be32: zero only in the first chunk
inline constexpr std::size_t kImageSize = 8;    // be32: whole image; zero = no image
inline constexpr std::size_t kData = 20;        // page_length - 16 data bytes from here
inline constexpr std::uint32_t kHeaderAfterLength = 16;  // header bytes counted in page_length
}  // namespace nv_chunk

// Fetches, checks and decodes one page into the operation log; 0 or -1.
int incollect_log(const char *dev, int page_code);

// What the decoders were given: the work buffer and the entry count. Kept for
// a caller that describes the decoded entries in another form as well; count
// is -1 when the decoders never ran.
struct decoded_work {
  std::array<std::uint8_t, kWorkBufferSize> work{};
  int count = -1;
};

// Checks the page in the page buffer, works out its entry count and decodes
// it into the operation log, logging "check log fail\n\r" or "analysis log
// fail\n\r" when a step fails; 0 or -1. The work buffer is cleared first.
// With keep, the work buffer and count handed to the decoders are copied there.
// held is the number of page-buffer bytes that hold what the expander sent,
// as sg_incollect_log returns it.
int decode_log_page(const_page_span page, int page_code, std::size_t held = kPageBufferSize,
                    decoded_work *keep = nullptr);

// decode_log_page for a page that may fail its check: when it does, the page
// is decoded all the same from what log_fill_unchecked fills, after the line
// "(unchecked: the page fails its check; decoded all the same)\n". 0 when the
// check passed and the page was decoded, 1 when it was decoded unchecked, -1
// when it could not be decoded.
int decode_log_page_unchecked(const_page_span page, int page_code, std::size_t held,
                              decoded_work *keep = nullptr);

// Logs the line that opens a page's part of the log before it is fetched:
// "\nincollect RAM log\n" for 0x80, "incollect NVlog\n" for 0xF4, nothing
// for the others.
void log_page_heading(int page_code);

// Number of entries handed to decoding with the work buffer, from the page
// buffer after log_check: event records for 0x80 and 0xF4 (see the record
// counts below), (page_length - 8) / 4 for 0x02, (page_length - 4) / 36 for
// 0x0A, page_length >> 3 for 0xF3, 0 for any other page. The SES counts are
// the page's own; the SES decoders bound them by the page copied. held is
// the number of page-buffer bytes that hold what the expander sent, as
// sg_incollect_log returns it.
int log_entry_count(const_page_span page, int page_code, std::size_t held = kPageBufferSize);

// Reads the page (page 0xF4: the first bytes of the assembled NV log image)
// into the page buffer. Failures are only logged; the buffer stays the
// caller's. Returns how many bytes from the start of the page buffer hold
// what the expander sent: a read's kReceiveSize, the image bytes the page
// buffer holds for page 0xF4, 0 when nothing could be fetched (the page
// buffer is then cleared). The rest of the page buffer is its cleared zeros.
std::size_t sg_incollect_log(const char *dev, page_span page, int page_code);

// The NV log image of size bytes, as declared by its chunks, of which the
// malloc block data keeps the first held bytes (at most kPageBufferSize, the
// only ones ever used); data == nullptr for no image.
struct nv_image {
  std::uint8_t *data = nullptr;
  std::uint32_t size = 0;
  std::uint32_t held = 0;
};

// Places the first bytes of the NV log image, at most the page buffer's size,
// in the page buffer with the rest of it cleared, as the log road decodes it;
// gives the number of image bytes placed. The image is released.
std::size_t place_nv_image(page_span page, nv_image image);

// An NV log image being assembled from chunks; frees what it holds unless
// taken.
// Only the first kPageBufferSize bytes of an image are ever used, so only
// those are kept; the rest is counted as it arrives, not stored, and the
// memory taken does not depend on the image size a device declares.
struct nv_assembly {
  std::uint8_t *image = nullptr;  // malloc block of kept bytes once a first chunk came
  std::uint32_t size = 0;         // declared image size
  std::uint32_t kept = 0;         // bytes stored: min(size, kPageBufferSize)
  std::uint32_t gathered = 0;     // bytes of the image received so far
  nv_assembly() = default;
  nv_assembly(const nv_assembly &) = delete;
  nv_assembly &operator=(const nv_assembly &) = delete;
  ~nv_assembly() { std::free(image); }
};

enum class nv_step { more, complete, failed };

// Adds one chunk (the bytes of one read of page 0xF4 as held) to the image:
// more when the image still lacks bytes, complete when it is full, failed
// when the chunk does not continue it (the assembly is then emptied).
nv_step nv_assembly_add(nv_assembly &assembly, std::span<const std::uint8_t> chunk);

// Hands a complete image to the caller, who frees it; the assembly is emptied.
nv_image nv_assembly_take(nv_assembly &assembly);

// Assembles the NV log image from successive reads of page 0xF4, using the
// page buffer as transfer buffer. The caller owns and frees the image. Any
// malformed chunk ends the assembly with no image.
nv_image incollect_nvlog(const char *dev, page_span page);

// Checks the page and fills the work buffer for the decoders; 0 or -1. Only
// the first held bytes of the page buffer are the page's (see
// sg_incollect_log): no event record or dump word is taken from beyond them.
int log_check(const_page_span page, work_span work, int page_code,
              std::size_t held = kPageBufferSize);

// Fills the work buffer as log_check does, without judging the page: the RAM
// log's records without their byte sum, the NV log image's crash dump (into
// the log) and flash records without its header CRC. An SES page without a
// page length has nothing to fill. 0, or -1 when nothing could be filled.
// For looking at a page that fails its check; the log road never uses it.
int log_fill_unchecked(const_page_span page, work_span work, int page_code, std::size_t held);

// The crash dump of the NV log image held into the log and its flash event
// records into the work buffer, whatever its header CRC.
void nv_log_fill(const_page_span page, work_span work, std::size_t held);

// The check of page 0xF4: the header CRC, then the crash dump into the log
// and the flash event records into the work buffer; 0 or -1. The page buffer
// holds the first held bytes of the NV log image.
int nv_log_check(const_page_span page, work_span work, std::size_t held);

// Event records of page 0x80 that are checked, converted and decoded: the
// declared records that lie wholly inside the first held bytes of the page
// buffer, at most kMaxEventRecords.
int ram_log_record_count(const_page_span page, std::size_t held = kPageBufferSize);

// Records of page 0x80 that the byte checksum covers: the declared records,
// bounded by the whole records inside the first held bytes.
std::size_t ram_log_sum_record_count(const_page_span page, std::size_t held = kPageBufferSize);

// Flash event records of the NV log image bytes held that are copied and
// decoded: the declared records that lie wholly inside image, at most
// kMaxEventRecords; 0 when event_log_length is below 48.
int nv_log_record_count(std::span<const std::uint8_t> image);

// One area of the crash dump: the header byte of its offset (its length
// follows) and the heading logged before its words.
struct dump_area {
  std::size_t offset_field;
  const char *heading;
};
inline constexpr dump_area crash_dump_areas[] = {
    {nv_log::kRegsOffset,
     "registers(32 GPRs and 55 CP0 Regs, starts from EPC and Index respectively)\n"},
    {nv_log::kRegsOffset + 8, "\n\rSystem Stack\n"},
    {nv_log::kRegsOffset + 16, "\n\rActive Thread Control Block\n"},
    {nv_log::kRegsOffset + 24, "\n\rActive Thread Stack Content\n"},
    {nv_log::kRegsOffset + 32, "\n\rActive Thread Stack Content\n"},
};

// Whole words of a dump area that lie inside the image bytes held.
std::size_t dump_area_words(std::span<const std::uint8_t> image, std::uint32_t offset,
                            std::uint32_t length);

// Logs the five dump areas of a checked NV log image, each cut to the image
// bytes held.
void log_crash_dump(std::span<const std::uint8_t> image);

// Logs the words of one dump area ("0x%08x " each, "\n" after every eighth),
// as many whole words as lie inside the image bytes held.
void log_dump_area(std::span<const std::uint8_t> image, std::uint32_t offset,
                   std::uint32_t length);

// The first held bytes of the page buffer (all of it when held is larger).
std::span<const std::uint8_t> page_bytes_held(const_page_span page, std::size_t held);

// CRC-32/BZIP2 register table: entry n is n << 24 shifted through eight steps
// of the polynomial 0x04C11DB7, most significant bit first.
extern const std::array<std::uint32_t, 256> crc32_lut;

// CRC-32/BZIP2 of data[0..len); len 0 prints "do not crc the file\n\r" and
// gives 0.
std::uint32_t crc32(const std::uint8_t *data, std::uint32_t len);
