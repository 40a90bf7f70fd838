// corvane-pages verify: after a download (and a reset), proof that the
// expander runs the wanted version. Reads the firmware status page with a
// bounded back-off until the expander answers with the version in its active
// firmware image (or, with --data, its active data image), or the time is up.
#include <getopt.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pages/expander_reading.h"
#include "pages/pages.h"
#include "sg/sg_reason.h"

namespace {

constexpr char kVerifyUsage[] =
    "usage: corvane-pages verify DEVICE --expect VERSION [--data] [--timeout SECONDS]\n";
constexpr unsigned long kDefaultTimeoutS = 60;
constexpr unsigned long kMaxTimeoutS = 3600;
constexpr long kFirstPauseMs = 250;
constexpr long kLongestPauseMs = 2000;

long long now_ms() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void pause_ms(long long ms) {
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

int verify_usage(const char *why) {
  std::fprintf(stderr, "corvane-pages: verify: %s\n%s", why, kVerifyUsage);
  return kExitUsage;
}

bool parse_seconds(const char *text, unsigned long &seconds) {
  if (text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char *end = nullptr;
  seconds = std::strtoul(text, &end, 10);
  return errno == 0 && *end == '\0' && seconds <= kMaxTimeoutS;
}

}  // namespace

int verify_command(int argc, char **argv) {
  static constexpr struct option kOptions[] = {{"expect", required_argument, nullptr, 'e'},
                                               {"data", no_argument, nullptr, 'd'},
                                               {"timeout", required_argument, nullptr, 't'},
                                               {nullptr, 0, nullptr, 0}};
  const char *expect = nullptr;
  bool data = false;
  unsigned long timeout_s = kDefaultTimeoutS;
  opterr = 0;
  optind = 1;
  int c = 0;
  while ((c = getopt_long(argc, argv, ":", kOptions, nullptr)) != -1) {
    switch (c) {
      case 'e': expect = optarg; break;
      case 'd': data = true; break;
      case 't':
        if (!parse_seconds(optarg, timeout_s)) return verify_usage("--timeout takes whole seconds, 0 to 3600");
        break;
      case ':': return verify_usage("an option needs a value");
      default: return verify_usage("unknown option");
    }
  }
  if (argc - optind != 1) return verify_usage("one DEVICE");
  if (expect == nullptr) return verify_usage("--expect VERSION is required");
  if (!valid_version(expect)) return verify_usage("VERSION is three printable characters");
  const char *dev = argv[optind];
  const char *kind = data ? "data image" : "firmware image";

  // The reasons of the reads while waiting are kept, not printed: only the
  // last one tells why verification failed.
  std::FILE *const reasons = g_sg_reason_stream;
  g_sg_reason_stream = nullptr;
  const long long deadline = now_ms() + static_cast<long long>(timeout_s) * 1000;
  long long pause = kFirstPauseMs;
  expander_reading r;
  bool ever_answered = false;
  expander_reading last_answer;
  for (;;) {
    if (read_expander(dev, r)) {
      ever_answered = true;
      last_answer = r;
      const char *running = data ? r.data_version.data() : r.image_version.data();
      if (std::strcmp(running, expect) == 0) break;
    }
    const long long left = deadline - now_ms();
    if (left <= 0) break;
    pause_ms(pause < left ? pause : left);
    pause = pause * 2 < kLongestPauseMs ? pause * 2 : kLongestPauseMs;
  }
  g_sg_reason_stream = reasons;

  if (r.answered) {
    const char *running = data ? r.data_version.data() : r.image_version.data();
    const int number = data ? r.active_data : r.active_image;
    if (std::strcmp(running, expect) == 0) {
      std::printf("verified: %s runs %s %s (%s%d)\n", dev, kind, expect, data ? "data" : "image", number);
      return kExitOk;
    }
  }
  if (ever_answered) {
    const char *running = data ? last_answer.data_version.data() : last_answer.image_version.data();
    const int number = data ? last_answer.active_data : last_answer.active_image;
    std::printf("not verified: %s runs %s %s (%s%d), not %s\n", dev, kind, running, data ? "data" : "image",
                number, expect);
    if (!r.answered) std::fprintf(stderr, "corvane-pages: verify: last read: %s\n", r.why.data());
    return kExitVerifyOtherVersion;
  }
  std::printf("not verified: %s did not answer within %lu s\n", dev, timeout_s);
  std::fprintf(stderr, "corvane-pages: verify: %s\n", r.why.data());
  return kExitFailed;
}
