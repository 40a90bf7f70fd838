// corvane-pages: captures an expander's pages, decodes captured pages with
// corvane's own decoders, and shows what a download would send.
#include <cstdio>
#include <cstring>

#include "pages/pages.h"
#include "pages/watch.h"

namespace {

constexpr char kUsage[] =
    "usage: corvane-pages capture DIR DEVICE\n"
    "       corvane-pages decode [--page 0xNN] PATH...\n"
    "       corvane-pages image FILE [--pieces]\n"
    "       corvane-pages metrics [--textfile DIR] [DEVICE...]\n"
    "       corvane-pages health [--json] [--ignore ELEMENT[,ELEMENT...]] [DEVICE...]\n"
    "       corvane-pages events DEVICE --state FILE\n"
    "  capture  read the expander's pages (read-only) into the new directory DIR\n"
    "  decode   decode a capture directory or page files (binary or hex) to standard output,\n"
    "           as corvane log writes them to its operation log\n"
    "  image    what corvane download=FILE would send, without a device\n"
    "  metrics  the expanders' state in the Prometheus text format (every SES node without DEVICE)\n"
    "  health   a verdict per expander and overall, as a Nagios plugin\n"
    "  events   send RAM log entries not yet sent to the system log\n";

int usage_error() {
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (argc < 2) return usage_error();
  const char *command = argv[1];
  if (std::strcmp(command, "capture") == 0) {
    if (argc != 4) return usage_error();
    return capture_command(argv[2], argv[3]);
  }
  if (std::strcmp(command, "decode") == 0) return decode_command(argc - 2, argv + 2);
  if (std::strcmp(command, "image") == 0) {
    if (argc == 3) return image_command(argv[2], false);
    if (argc == 4 && std::strcmp(argv[3], "--pieces") == 0) return image_command(argv[2], true);
    if (argc == 4 && std::strcmp(argv[2], "--pieces") == 0) return image_command(argv[3], true);
    return usage_error();
  }
  if (std::strcmp(command, "metrics") == 0) return metrics_command(argc - 2, argv + 2);
  if (std::strcmp(command, "health") == 0) return health_command(argc - 2, argv + 2);
  if (std::strcmp(command, "events") == 0) return events_command(argc - 2, argv + 2);
  return usage_error();
}
