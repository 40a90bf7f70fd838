#include <cstdio>

#include "bounded/bounded.h"
#include "cli/usage.h"
#include "common/sizes.h"
#include "oplog/oplog.h"

namespace {
constexpr char kUsageText[] =
    "Expander Command Line Tool  Ver 1.03 June 22 2020\n"
    "\n"
    "Usage: dastrel <commands> sg_name\n"
    "----------------------------------------\n"
    "Commands: \n"
    "          query                 --- Query the expander firmware version\n"
    "          download=filename     --- Update firmware or config\n"
    "          reset                 --- reset expander\n"
    "          log                   --- incollect log\n"
    "Example:./corvane query /dev/sgX\n"
    "\n";
}  // namespace

void usage(void) {
  char text[kTextSize] = {};
  sprintf_s(text, sizeof text, "%s", kUsageText);
  recorde_log(text, 1);
  std::printf("%s", text);
}
