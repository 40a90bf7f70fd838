#include <cstdio>

#include "pages/capture.h"

namespace {

const char *or_unknown(const char *text) { return text[0] != '\0' ? text : "(unknown)"; }

}  // namespace

void manifest_header(std::FILE *out, const char *time, const char *dev,
                     const capture_identity &id) {
  std::fprintf(out, "# corvane-pages capture\n");
  std::fprintf(out, "time:     %s\n", time);
  std::fprintf(out, "device:   %s\n", dev);
  std::fprintf(out, "vendor:   %s\n", or_unknown(id.vendor));
  std::fprintf(out, "product:  %s\n", or_unknown(id.product));
  std::fprintf(out, "revision: %s\n", or_unknown(id.revision));
  std::fprintf(out, "serial:   %s\n", or_unknown(id.serial));
  std::fprintf(out, "# read             file                bytes  outcome\n");
}

void manifest_read(std::FILE *out, const char *what, const char *file, long size,
                   const char *outcome) {
  char bytes[24] = "-";
  if (file != nullptr) std::snprintf(bytes, sizeof bytes, "%ld", size);
  std::fprintf(out, "%-18s %-18s %6s  %s\n", what, file != nullptr ? file : "-", bytes, outcome);
}
