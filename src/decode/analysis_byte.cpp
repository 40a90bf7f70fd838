// One column of a decoded event line. Every column ends in one blank.
#include "bounded/bounded.h"
#include "decode/event_line.h"
#include "decode/event_messages.h"
#include "decode/time_text.h"

namespace {

// Level: the low 16 bits; the high half of the severity word is not shown.
void severity_column(std::uint32_t word, text_span field) {
  const std::uint32_t level = word & 0xFFFFu;
  const char *name = find_severity_name(static_cast<std::int32_t>(level));
  if (name != nullptr) {
    sprintf_s(field.data(), field.size(), "%s ", name);
  } else {
    sprintf_s(field.data(), field.size(), "0x%08x ", level);
  }
}

void time_column(std::uint32_t high, std::uint32_t low, text_span field) {
  char time_text[100];
  memset_s(time_text, sizeof time_text, 0, sizeof time_text);
  ustoymdhmsmsus((std::uint64_t{high} << 32) | low, time_text);
  sprintf_s(field.data(), field.size(), "%s ", time_text);
}

void event_column(std::uint32_t word, text_span field) {
  const char *message = find_event_message(word);
  if (message != nullptr) {
    sprintf_s(field.data(), field.size(), "\"%s\" ", message);
  } else {
    sprintf_s(field.data(), field.size(), "0x%08x ", word);
  }
}

}  // namespace

void analysis_byte(std::int32_t value, std::int32_t second, int kind,
                   text_span field) {
  const auto word = static_cast<std::uint32_t>(value);
  switch (kind) {
    case kFieldSeverity:
      severity_column(word, field);
      break;
    case kFieldTime:
      time_column(word, static_cast<std::uint32_t>(second), field);
      break;
    case kFieldNumber:
      sprintf_s(field.data(), field.size(), "%-3d ", value);
      break;
    case kFieldEvent:
      event_column(word, field);
      break;
    case kFieldParam1:
    case kFieldParam2:
    case kFieldParam3:
      sprintf_s(field.data(), field.size(), "0x%08x ", word);
      break;
    default:
      break;  // no column: the field text stays as it was
  }
}
