// The handler's record of the diagnostic commands it answered.
#pragma once

#include "tcmu/ring.h"

#include <string>

namespace tcmu {

// The record line of one command: "cdb=<hex> status=<hex> len=<n>", then for
// CHECK CONDITION " sense=<hex>" (18 bytes) and for a sent page " data=<hex>"
// with the parameter list; len counts the bytes sent or the bytes delivered.
std::string record_line(const command &cmd, xfer dir, const reply &rep);

}  // namespace tcmu
