// The decoded fields of a page as JSON keys, beside the text lines of its
// entry: built from the same work buffer, entry count and row tables the text
// decoders use, so that every value has its line and no line lacks its value.
#pragma once

#include <span>

#include "logs/logs.h"
#include "pages/json_stream.h"

// Writes the structured keys of page code into the entry open in out: "events" for 0x80, and
// "crash_dump" and "events" for 0xF4 (image: the NV log image bytes held);
// "overall" and "elements" for 0x02; "protocol_selected" and "descriptors"
// for 0x0A; "phys" for 0xF3. Nothing when the decoders never ran
// (kept.count < 0).
void decoded_fields_json(int code, const decoded_work &kept, std::span<const std::uint8_t> image,
                         json_doc::stream &out);

// A row label as a JSON key: lower case, every run of other characters than
// letters and digits one '_', none at either end ("Rebuild/remap" gives
// "rebuild_remap", " ;sxl_rate:" gives "sxl_rate").
std::string snake_key(const char *label);
