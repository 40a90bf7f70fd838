// Severity names of the event records, searched by level (analysis_byte).
#include "decode/event_messages.h"

constexpr std::array<log_sev_entry, kSeverityCount> log_sev = {{
    {0, "Disables logging"},
    {1, "critical error"},
    {2, "error"},
    {3, "warning"},
    {4, "info"},
    {5, "debugging"},
    {6, "reserved"},
}};
