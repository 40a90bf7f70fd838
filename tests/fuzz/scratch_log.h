// The operation log of a fuzz target: a private scratch file, emptied before
// every input so it never grows, and removed when the target exits. The
// host's operation log is never opened.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "oplog/oplog.h"

namespace fuzzsupport {

inline char g_scratch_dir[32] = {};
inline char g_scratch_path[32] = {};

inline void remove_scratch_log() {
  unlink(g_scratch_path);
  rmdir(g_scratch_dir);
}

// Points g_log_file_path at "<dir>/log" in a fresh directory under /dev/shm
// (memory, so the many small appends cost no disk) or /tmp; exits when
// neither can take one, rather than fall back to the real log.
inline void use_scratch_log() {
  for (const char *base : {"/dev/shm/cvfzXXXXXX", "/tmp/cvfzXXXXXX"}) {
    std::strncpy(g_scratch_dir, base, sizeof g_scratch_dir - 1);
    if (mkdtemp(g_scratch_dir) != nullptr) break;
    g_scratch_dir[0] = '\0';
  }
  const int n = std::snprintf(g_scratch_path, sizeof g_scratch_path, "%s/log", g_scratch_dir);
  if (g_scratch_dir[0] == '\0' || n < 0 || static_cast<std::size_t>(n) >= sizeof g_log_file_path) {
    std::fprintf(stderr, "fuzz: no scratch directory for the operation log\n");
    std::exit(2);
  }
  if (!set_log_file_path(g_scratch_path)) std::exit(2);
  std::atexit(remove_scratch_log);
  // Entries go to one stream that is never closed, instead of an open and
  // close of the file per entry, which would cost most of an input's time.
  // What the decoders write is still formatted in full; only the file
  // operations around it are spared.
  std::FILE *sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) {
    std::fprintf(stderr, "fuzz: /dev/null cannot be opened\n");
    std::exit(2);
  }
  set_log_stream(sink);
}

// Empties the scratch log before the next input.
inline void reset_scratch_log() { (void)truncate(g_scratch_path, 0); }

}  // namespace fuzzsupport
