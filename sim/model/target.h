// The simulated SES target's command handlers, shared by model_execute.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/model.h"
#include "model/state.h"

namespace sim {

// What a handler may touch besides the request.
struct target_context {
  const std::string &state_dir;
  const std::string &pages_dir;
  expander_state &state;
  bool state_changed = false;
  unsigned &nv_next_chunk;  // next 0xF4 chunk to serve
  const quirks &behaviour;  // how this expander misbehaves
};

inline constexpr std::size_t kPieceMax = 512;  // image bytes per download piece

outcome receive_diagnostic(target_context &ctx, const request &req);
outcome send_diagnostic(target_context &ctx, const request &req);
outcome inquiry(const request &req, const config &unit);
outcome request_sense(const request &req);

// Handlers for the parameter lists SEND DIAGNOSTIC carries; list holds
// exactly the parameter list length of the command block.
outcome string_out(target_context &ctx, std::span<const std::uint8_t> list);
outcome activation(target_context &ctx, std::span<const std::uint8_t> list);

}  // namespace sim
