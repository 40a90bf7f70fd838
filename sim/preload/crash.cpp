// Interposed rename: with EXPANDER_SIM_CRASH_AT_RENAME set, a program that
// renames a file whose name ends in its value is killed (SIGKILL) instead,
// as if it crashed just before the rename: whatever it did before has
// happened, the file it was about to put in place has not.
#include <signal.h>
#include <stdio.h>

#include <cstdlib>
#include <cstring>

#include "preload/real_calls.h"

namespace simpre {
namespace {

using rename_t = int (*)(const char *, const char *);

bool crash_here(const char *target) {
  const char *suffix = std::getenv("EXPANDER_SIM_CRASH_AT_RENAME");
  if (suffix == nullptr || suffix[0] == '\0' || target == nullptr) return false;
  const std::size_t n = std::strlen(target);
  const std::size_t m = std::strlen(suffix);
  return n >= m && std::strcmp(target + n - m, suffix) == 0;
}

}  // namespace
}  // namespace simpre

#pragma GCC visibility push(default)
extern "C" {

int rename(const char *from, const char *to) {
  if (simpre::crash_here(to)) ::raise(SIGKILL);
  static simpre::rename_t fn = simpre::next_symbol<simpre::rename_t>("rename");
  return fn(from, to);
}

}  // extern "C"
#pragma GCC visibility pop
