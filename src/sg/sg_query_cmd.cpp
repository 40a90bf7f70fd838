#include "sg/sg.h"

// RECEIVE DIAGNOSTIC RESULTS with PCV set, asking for kReceiveSize bytes: the
// whole-page request with a buffer of exactly that size.
int sg_query_cmd(const char *dev, int page_code, std::span<std::uint8_t, kReceiveSize> buf) {
  return sg_receive_page(dev, page_code, buf);
}
