// Event log decoding: one text line per event record of pages 0x80 and 0xF4;
// the SES status pages go on to their own decoders.
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/page_codes.h"
#include "decode/decode.h"
#include "decode/event_line.h"
#include "oplog/oplog.h"
#include "ses/ses.h"

namespace {

using namespace event_record;

// count comes from the device's page header. The work buffer holds at most
// kMaxEventRecords records (6400 / 32), so a larger count decodes the first
// 200: every record held is shown and nothing past the buffer is read.

// Column order on the line, each with its word and field kind.
struct column {
  std::size_t word;
  int kind;
};
constexpr column kColumns[] = {
    {kNumber, kFieldNumber}, {kTimeHigh, kFieldTime},   {kSeverityWord, kFieldSeverity},
    {kEventCode, kFieldEvent}, {kParam1, kFieldParam1}, {kParam2, kFieldParam2},
    {kParam3, kFieldParam3},
};

void log_event_line(std::span<const std::uint8_t> record, text_span field,
                    text_span line) {
  memset_s(field.data(), field.size(), 0, field.size());
  memset_s(line.data(), line.size(), 0, line.size());
  std::size_t length = 0;
  const std::int32_t time_low = record_word(record, kTimeLow);
  for (const column &col : kColumns) {
    analysis_byte(record_word(record, col.word), time_low, col.kind, field);
    strcpy_s(line.data() + length, line.size() - length, field.data());
    length += std::strlen(line.data() + length);
    memset_s(field.data(), field.size(), 0, field.size());
  }
  strcpy_s(line.data() + length, line.size() - length, "\n");
  recorde_log(line.data(), 0);
}

}  // namespace

std::int32_t record_word(std::span<const std::uint8_t> record, std::size_t word) {
  std::int32_t value = 0;
  if (bytes::fits(record, word * 4, 4)) std::memcpy(&value, record.data() + word * 4, 4);
  return value;
}

int analysis_log(const_work_span work, int count, int page_code) {
  char field[kTextSize] = {};
  char line[kTextSize] = {};
  if (page_code == kPageRamLog || page_code == kPageNvLog) {
    const int records = count < kMaxEventRecords ? count : kMaxEventRecords;
    for (int i = 0; i < records; ++i) {
      log_event_line(work.subspan(static_cast<std::size_t>(i) * kEventRecordSize, kEventRecordSize),
                     field, line);
    }
    return 0;
  }
  if (page_code == kPageEnclosureStatus || page_code == kPageAdditionalElement ||
      page_code == kPageSssf) {
    return analysis_page_log(work, count, page_code);
  }
  return 0;
}
