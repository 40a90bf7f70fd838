// Additional Element Status page (0x0A): the walk over its descriptors.
#include "bounded/bounded.h"
#include "common/bytes.h"
#include "oplog/oplog.h"
#include "ses/ses_decode.h"

namespace {

using namespace addl_elem;

void log_descriptor(std::span<const std::uint8_t> desc, int n, bool protocol_selected) {
  char text[kTextSize];
  memset_s(text, sizeof text, 0, sizeof text);
  const std::uint8_t flags = desc[kDescFlags];
  if ((flags & kEipBit) != 0) {
    // A descriptor whose body is empty carries no eiioe byte: shown as 0.
    sprintf_s(text, sizeof text, " Element index: %d  eiioe=%d\n", n,
              bytes::u8(desc, kDescEiioe) & kEiioeMask);
  } else {
    sprintf_s(text, sizeof text, " Element %d descriptor\n", n);
  }
  recorde_log(text, 0);
  if ((flags & kInvalidBit) != 0) {
    recorde_log("  flagged as invalid (no further information)\n", 0);
  } else if (protocol_selected) {
    recorde_log("  Transport protocol: SAS\n", 0);
    analysis_additional_elem_sas("   ", desc);
  } else {
    recorde_log("Transport protocol:not decoded\n", 0);
  }
}

}  // namespace

// The descriptor at off, header and body, or an empty span when either would
// reach past the page bytes held. page is clamped to the copy once, by the
// caller; the device's lengths are checked here before anything is read.
std::span<const std::uint8_t> additional_descriptor_at(std::span<const std::uint8_t> page,
                                                       std::size_t off) {
  if (!bytes::fits(page, off, kDescHeaderSize)) return {};
  const std::size_t size = kDescHeaderSize + bytes::u8(page, off + kDescLength);
  if (!bytes::fits(page, off, size)) return {};
  return page.subspan(off, size);
}

// count is (page_length - 4) / 36 from the page header, but descriptors have
// their own lengths: the walk decodes at most count of them and stops at the
// first whose header or body would reach past the page copy.
int analysis_additional_elem(std::span<const std::uint8_t> page, int count) {
  const bool protocol_selected = (bytes::u8(page, kProtocolByte) & kProtocolMask) != 0;
  std::size_t off = kFirstDescriptor;
  for (int n = 0; n < count; ++n) {
    const std::span<const std::uint8_t> desc = additional_descriptor_at(page, off);
    if (desc.empty()) break;
    log_descriptor(desc, n, protocol_selected);
    off += desc.size();
  }
  return 0;
}
