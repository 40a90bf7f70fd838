// The page files corvane-pages decode reads: the input is a file's content,
// taken as hex text or as a binary page exactly as the decoder takes a file,
// checked as a whole page, and a page the log road decodes is decoded as a
// read of it would be (its first bytes in a cleared page buffer).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bounded/bounded.h"
#include "common/page_codes.h"
#include "common/sizes.h"
#include "logs/logs.h"
#include "pages/json_doc.h"
#include "pages/pages.h"
#include "scratch_log.h"

namespace {

// The JSON document decode --json writes for the page must parse back with
// a strict parser and be laid out exactly as the library lays out the value
// it parses to; anything else stops the run.
void json_round_trip(std::span<const std::uint8_t> page_bytes) {
  pages_messages_reset(false);
  const std::span<const std::uint8_t> one[] = {page_bytes};
  std::string text;
  (void)decode_pages_document(one, "input", text);
  if (text.empty() || text.back() != '\n') __builtin_trap();
  text.pop_back();
  const json_doc::json back = json_doc::json::parse(text, nullptr, false);
  if (back.is_discarded() || !back.is_object() || !back["pages"].is_array()) __builtin_trap();
  if (back.dump(2, ' ', false, json_doc::json::error_handler_t::strict) != text) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzzsupport::use_scratch_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0 || size > kMaxHexText) return 0;
  fuzzsupport::reset_scratch_log();
  // Heap buffers of the exact sizes, so any access past them is caught.
  auto *file_bytes = new std::uint8_t[kMaxPageBytes];
  const std::span<std::uint8_t, kMaxPageBytes> file(file_bytes, kMaxPageBytes);
  char why[kWhySize] = {};
  long n = -1;
  const std::span<const std::uint8_t> content(data, size);
  if (looks_like_text(content)) {
    n = parse_hex_text({reinterpret_cast<const char *>(data), size}, file, why);
  } else if (size <= file.size()) {
    std::memcpy(file.data(), data, size);
    n = static_cast<long>(size);
  }
  if (n >= 0) {
    const auto page_bytes = file.first(static_cast<std::size_t>(n));
    if (check_whole_page(page_bytes, why) == 0) {
      if (is_log_page(page_bytes[0])) {
        auto *buffer = new std::uint8_t[kPageBufferSize]();
        const page_span page(buffer, kPageBufferSize);
        std::memcpy(page.data(), page_bytes.data(), std::min(page_bytes.size(), kReceiveSize));
        (void)decode_log_page(page, page_bytes[0], kReceiveSize);
        delete[] buffer;
      }
      json_round_trip(page_bytes);
    }
  }
  delete[] file_bytes;
  return 0;
}
