// RECEIVE DIAGNOSTIC RESULTS and SEND DIAGNOSTIC as an SES target checks them.
#include <algorithm>
#include <vector>

#include "common/bytes.h"
#include "model/page_set.h"
#include "model/sense.h"
#include "model/target.h"

namespace sim {

namespace {

constexpr std::size_t kCdbLength = 6;     // both commands are group 0
constexpr std::uint8_t kPcv = 0x01;       // RECEIVE: page code valid
constexpr std::uint8_t kPf = 0x10;        // SEND: page format
constexpr std::size_t kLengthOffset = 3;  // allocation / parameter list length

// A transport-level mismatch between the command and the buffer the
// initiator set up: the host adapter reports an error, the target is silent.
outcome transport_error() {
  outcome o;
  o.host_status = kHostError;
  return o;
}

}  // namespace

outcome receive_diagnostic(target_context &ctx, const request &req) {
  if (req.cdb.size() != kCdbLength) return invalid_field(true, 0);
  if (req.cdb[1] != kPcv) return invalid_field(true, 1);
  if (req.cdb[5] != 0) return invalid_field(true, 5);
  const std::size_t alloc = bytes::be16(req.cdb, kLengthOffset);
  const int code = req.cdb[2];
  std::vector<std::uint8_t> page;
  const bool nv = code == kNvLogPage;
  if (!receive_page(ctx.pages_dir, ctx.state, code, nv ? ctx.nv_next_chunk : 0, page)) {
    return invalid_field(true, 2);
  }
  if (nv) {
    const unsigned count = nv_chunk_count(ctx.pages_dir);
    ctx.nv_next_chunk = count == 0 ? 0 : (ctx.nv_next_chunk + 1) % count;
  }
  const std::size_t want = std::min(page.size(), alloc);
  if (want > 0 && req.dir != direction::from_device) return transport_error();
  outcome o;
  o.data_len = std::min(want, req.data.size());
  std::copy_n(page.begin(), static_cast<long>(o.data_len), req.data.begin());
  // The target sends want bytes; a smaller buffer overruns at the host.
  if (want > req.data.size()) o.host_status = kHostError;
  return o;
}

outcome send_diagnostic(target_context &ctx, const request &req) {
  if (req.cdb.size() != kCdbLength) return invalid_field(true, 0);
  if (req.cdb[2] != 0) return invalid_field(true, 2);
  if (req.cdb[5] != 0) return invalid_field(true, 5);
  // Only a page-format list with no self-test is taken.
  if (req.cdb[1] != kPf) return invalid_field(true, 1);
  const std::size_t len = bytes::be16(req.cdb, kLengthOffset);
  if (len == 0) return outcome{};
  if (req.dir != direction::to_device || req.data.size() < len) return transport_error();
  const std::span<const std::uint8_t> list = req.data.first(len);
  if (len < 4 || bytes::be16(list, 2) + 4u > len) {
    return check_condition(kIllegalRequest, kAscParameterListLengthError, 0);
  }
  outcome o;
  switch (list[0]) {
    case kStringOutPage: o = string_out(ctx, list); break;
    case kActivationPage: o = activation(ctx, list); break;
    default: return invalid_field(false, 0);
  }
  if (o.kind == outcome::good) o.data_len = len;
  return o;
}

}  // namespace sim
