// Decoding of event records into text lines of the operation log.
#pragma once

#include <cstdint>
#include <span>

#include "common/sizes.h"

// Writes one line per event record for pages 0x80 and 0xF4; passes the SES
// pages 0x02, 0x0A and 0xF3 to analysis_page_log. 0 or that result.
int analysis_log(const_work_span work, int count, int page_code);
