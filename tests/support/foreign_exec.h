// Lets a test that starts a program of this build skip itself where the
// machine cannot start it: a cross build whose programs run under emulation
// on a machine without a binfmt_misc handler for them. scripts/test.sh sets
// CORVANE_NO_FOREIGN_EXEC=1 in that case only.
#pragma once

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace testsupport {

inline bool foreign_exec_unavailable() {
  const char *value = std::getenv("CORVANE_NO_FOREIGN_EXEC");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace testsupport

// Use at the top of a test body (or SetUp) that starts corvane or the simulator.
#define CORVANE_SKIP_WITHOUT_PROGRAM_EXEC()                                    \
  do {                                                                         \
    if (testsupport::foreign_exec_unavailable()) {                             \
      GTEST_SKIP() << "this machine cannot start programs built for the "      \
                      "target processor (no binfmt_misc emulator handler)";    \
    }                                                                          \
  } while (0)
