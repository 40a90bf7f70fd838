// The constant vocabulary of the event log: severity names, the module index
// and one message table per firmware module. Searched linearly by
// analysis_byte; nothing changes them at run time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One row of log_sev.
struct log_sev_entry {
  std::int32_t level;  // severity number held in an event record's low half
  char name[20];       // NUL-terminated, NUL-padded
};

// One row of a module's message table. The fixed text field makes a literal
// of 100 characters or more a compile error.
struct message_entry {
  std::int32_t code;  // 16-bit code within the module
  char message[100];  // NUL-terminated, NUL-padded
};

// One row of error_code: a module number and its message table.
struct module_entry {
  std::int32_t module_id;         // 16-bit module number
  std::int32_t entry_count;       // rows of the table
  const message_entry *entries;   // the table's first row
};

inline constexpr std::size_t kSeverityCount = 7;
inline constexpr std::size_t kModuleCount = 15;
inline constexpr std::size_t kMessageCount = 743;  // all fifteen tables

extern const std::array<log_sev_entry, kSeverityCount> log_sev;
extern const std::array<module_entry, kModuleCount> error_code;

// The module message tables, in the order of error_code; their sizes are
// known only where they are defined, and reach readers as entry_count.
extern const message_entry SAS_ERROR_CODE[];
extern const message_entry SAHA_ERROR_CODE[];
extern const message_entry STE_ERROR_CODE[];
extern const message_entry SXP_ERROR_CODE[];
extern const message_entry DSQ_ERROR_CODE[];
extern const message_entry SIA_ERROR_CODE[];
extern const message_entry SOCIO_ERROR_CODE[];
extern const message_entry PORTMGR_ERROR_CODE[];
extern const message_entry SPINUP_ERROR_CODE[];
extern const message_entry TOPD_ERROR_CODE[];
extern const message_entry SMP_ERROR_CODE[];
extern const message_entry SMPSTD_ZONG_ERROR_CODE[];
extern const message_entry PWRMGR_ERROR_CODE[];
extern const message_entry OSF_ERROR_CODE[];
extern const message_entry ISTR_ERROR_CODE[];

// The name of the first log_sev row whose level equals level, or nullptr.
const char *find_severity_name(std::int32_t level);

// The message of the event code (module number in the high 16 bits, code in
// the low 16 bits): first module row whose module_id matches, then the first
// of its entry_count rows whose code matches. nullptr when either is missing.
const char *find_event_message(std::uint32_t event_code);
