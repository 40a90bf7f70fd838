// Fetching of one log page into the page buffer.
#include <algorithm>

#include "bounded/bounded.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "logs/logs.h"
#include "oplog/oplog.h"
#include "sg/sg.h"

std::size_t place_nv_image(page_span page, nv_image image) {
  guard::heap<std::uint8_t> owned(image.data);
  memset_s(page.data(), page.size(), 0, page.size());
  const std::size_t held = std::min<std::size_t>(image.held, page.size());
  memcpy_s(page.data(), page.size(), image.data, held);
  return held;
}

namespace {

// A page that could not be fetched is no page: whatever a failed read or a
// failed assembly left in the page buffer is cleared, so the check fails on
// it (a page_length of 0, a header CRC that does not match) instead of
// decoding bytes that may pass it.
std::size_t drop_page(page_span page) {
  memset_s(page.data(), page.size(), 0, page.size());
  return 0;
}

}  // namespace

void log_page_heading(int page_code) {
  if (page_code == kPageRamLog) recorde_log("\nincollect RAM log\n", 0);
  if (page_code == kPageNvLog) recorde_log("incollect NVlog\n", 0);
}

std::size_t sg_incollect_log(const char *dev, page_span page, int page_code) {
  log_page_heading(page_code);
  if (page_code == kPageRamLog) {
    if (sg_query_cmd(dev, page_code, page.first<kReceiveSize>()) != 0) {
      recorde_log("send expander incollect RAM log fail\n\r", 0);
      return drop_page(page);
    }
    return kReceiveSize;
  }
  if (page_code == kPageNvLog) {
    const nv_image image = incollect_nvlog(dev, page);
    if (image.data == nullptr) {
      recorde_log("send expander incollect NVlog fail\n", 0);
      return drop_page(page);
    }
    return place_nv_image(page, image);
  }
  if (sg_query_cmd(dev, page_code, page.first<kReceiveSize>()) != 0) {
    recorde_log("send expander incollect SES page log fail\n\r", 0);
    return drop_page(page);
  }
  return kReceiveSize;
}
