// The pages the expander accepts: String Out (download piece, reset) and the
// activation page that swaps the active firmware image.
#include <array>
#include <vector>

#include "common/bytes.h"
#include "model/sense.h"
#include "model/target.h"

namespace sim {

namespace {

constexpr std::size_t kBody = 4;               // first byte after the page header
constexpr std::uint8_t kDownloadCommand = 0x01;
constexpr std::uint8_t kResetCommand = 0x02;
constexpr std::size_t kPieceOffsetField = 5;   // big-endian 32-bit image offset
constexpr std::size_t kPieceData = 9;
constexpr std::size_t kVersionInImage = 8;     // three version characters
constexpr std::array<std::uint8_t, 4> kSignature = {0x50, 0x4D, 0x43, 0x00};

bool signed_image(const std::vector<std::uint8_t> &head) {
  return head.size() >= kSignature.size() && std::equal(kSignature.begin(), kSignature.end(), head.begin());
}

bool version_in(const std::vector<std::uint8_t> &head, version_t &v) {
  if (head.size() < kVersionInImage + 3) return false;
  for (std::size_t i = 0; i < 3; ++i) v[i] = head[kVersionInImage + i];
  return true;
}

outcome download_piece(target_context &ctx, std::span<const std::uint8_t> list) {
  const std::size_t page_len = bytes::be16(list, 2);
  if (page_len < kPieceData - kBody + 1 || page_len - (kPieceData - kBody) > kPieceMax) {
    return invalid_field(false, 2);
  }
  const std::size_t n = page_len - (kPieceData - kBody);
  const std::uint64_t offset = bytes::be32(list, kPieceOffsetField);
  // Pieces arrive in order: a new image starts at 0, the next piece follows the last.
  if ((offset != 0 && offset != received_size(ctx.state_dir)) || offset + n > kMaxImageSize) {
    return invalid_field(false, kPieceOffsetField);
  }
  if (!store_piece(ctx.state_dir, offset, list.data() + kPieceData, n)) {
    return check_condition(kHardwareError, kAscInternalTargetFailure, 0);
  }
  if (ctx.state.swap_armed) {
    ctx.state.swap_armed = false;
    ctx.state_changed = true;
  }
  return outcome{};
}

// A reset drops the received image; an unsigned (configuration) image that
// carries its version becomes the active data image. The expander then
// starts from its active image; one that comes back with its old image
// starts from the image it ran before and keeps its data image.
outcome reset(target_context &ctx, std::span<const std::uint8_t> list) {
  if (bytes::be16(list, 2) != 2 || list[kBody + 1] != 0x01) return invalid_field(false, kBody + 1);
  const std::vector<std::uint8_t> head = received_head(ctx.state_dir, kVersionInImage + 3);
  version_t v{};
  if (ctx.behaviour.old_image_after_reset) {
    ctx.state.active_image = ctx.state.booted_image;
  } else if (!signed_image(head) && version_in(head, v)) {
    ctx.state.active_data = 1 - ctx.state.active_data;
    ctx.state.data_version[static_cast<std::size_t>(ctx.state.active_data)] = v;
  }
  ctx.state.booted_image = ctx.state.active_image;
  if (ctx.behaviour.silent_after_reset_s != 0) {
    ctx.state.silent_until_ms = wall_clock_ms() + std::uint64_t{ctx.behaviour.silent_after_reset_s} * 1000u;
  }
  drop_received(ctx.state_dir);
  ctx.state.swap_armed = false;
  ++ctx.state.resets;
  ctx.state_changed = true;
  return outcome{};
}

}  // namespace

outcome string_out(target_context &ctx, std::span<const std::uint8_t> list) {
  if (bytes::be16(list, 2) == 0) return invalid_field(false, 2);
  switch (list[kBody]) {
    case kDownloadCommand: return download_piece(ctx, list);
    case kResetCommand: return reset(ctx, list);
    default: return invalid_field(false, kBody);
  }
}

// First list (page length 2, data 0x01 0x00) arms the swap of a received
// signed image; second list (page length 1, data 0x00) carries it out.
outcome activation(target_context &ctx, std::span<const std::uint8_t> list) {
  const std::size_t page_len = bytes::be16(list, 2);
  if (page_len == 2 && list[kBody] == 0x01 && list[kBody + 1] == 0x00) {
    if (!signed_image(received_head(ctx.state_dir, kSignature.size()))) return invalid_field(false, kBody);
    ctx.state.swap_armed = true;
    ctx.state_changed = true;
    return outcome{};
  }
  if (page_len == 1 && list[kBody] == 0x00) {
    if (!ctx.state.swap_armed) return invalid_field(false, kBody);
    if (ctx.behaviour.ignore_activation) {
      // Accepted, and nothing comes of it.
      ctx.state.swap_armed = false;
      ctx.state_changed = true;
      drop_received(ctx.state_dir);
      return outcome{};
    }
    const std::vector<std::uint8_t> head = received_head(ctx.state_dir, kVersionInImage + 3);
    const int next = 1 - ctx.state.active_image;
    version_t v{};
    if (version_in(head, v)) ctx.state.image_version[static_cast<std::size_t>(next)] = v;
    ctx.state.active_image = next;
    ctx.state.swap_armed = false;
    ctx.state_changed = true;
    drop_received(ctx.state_dir);
    return outcome{};
  }
  return invalid_field(false, 2);
}

}  // namespace sim
