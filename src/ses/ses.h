// Decoders of the SES status pages held in the work buffer.
#pragma once

#include <cstdint>
#include <span>

#include "common/sizes.h"

// Decodes page 0x02, 0x0A or 0xF3 from the work buffer into the log.
// Returns the page decoder's result, 0 for any other page code.
int analysis_page_log(const_work_span work, int count,
                      int page_code);
