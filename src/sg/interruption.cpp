#include "sg/interruption.h"

#include <signal.h>

#include <cstdio>

namespace {

constexpr int kHeld[] = {SIGHUP, SIGINT, SIGTERM};

int g_seen = 0;  // the first signal found held

}  // namespace

void interruption_hold() {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : kHeld) sigaddset(&set, s);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

int interruption_signal() {
  if (g_seen != 0) return g_seen;
  sigset_t pending;
  sigemptyset(&pending);
  if (sigpending(&pending) != 0) return 0;
  for (const int s : kHeld) {
    if (sigismember(&pending, s) == 1) {
      g_seen = s;
      break;
    }
  }
  return g_seen;
}

const char *interruption_name(int signo) {
  switch (signo) {
    case SIGHUP: return "SIGHUP";
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "a signal";
  }
}
