// Answers the commands that reach the user backstore through the expander
// model: INQUIRY and REQUEST SENSE of the midlayer's scan as the model
// identifies the unit (the same answer the preloaded door gives), the
// diagnostic pages as the model serves them.
#pragma once

#include "model/model.h"
#include "tcmu/ring.h"

#include <cstdio>

namespace tcmu {

// Everything one handler process answers for.
struct target {
  sim::model *model = nullptr;  // its configuration carries the unit's identity
  std::FILE *record = nullptr;  // one line per diagnostic command; may be null
};

// The data direction of a command, decided by its operation code.
xfer command_direction(std::span<const std::uint8_t> cdb);

// answer_fn for ring_drain; ctx is a target.
void answer_command(void *ctx, command &cmd, xfer dir, reply &rep);

}  // namespace tcmu
