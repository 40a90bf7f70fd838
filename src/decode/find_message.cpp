// First-match linear searches over the event dictionary.
#include "decode/event_messages.h"

const char *find_severity_name(std::int32_t level) {
  for (const log_sev_entry &entry : log_sev) {
    if (entry.level == level) return entry.name;
  }
  return nullptr;
}

const char *find_event_message(std::uint32_t event_code) {
  const auto module_id = static_cast<std::int32_t>(event_code >> 16);
  const auto code = static_cast<std::int32_t>(event_code & 0xFFFFu);
  for (const module_entry &module : error_code) {
    if (module.module_id != module_id) continue;
    // Module numbers are distinct, so the first match is the only one.
    for (std::int32_t i = 0; i < module.entry_count; ++i) {
      if (module.entries[i].code == code) return module.entries[i].message;
    }
    return nullptr;
  }
  return nullptr;
}
