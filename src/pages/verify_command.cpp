// corvane-pages verify: after a download (and a reset), proof that the
// expander runs the wanted version. Reads the firmware status page with a
// bounded back-off until the expander answers with the version in its active
// firmware image (or, with --data, its active data image), or the time is up.
#include <time.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "common/page_codes.h"
#include "pages/check_verify.h"
#include "pages/json_doc.h"
#include "pages/status.h"
#include "sg/sg.h"
#include "sg/sg_reason.h"

namespace {

constexpr long long kFirstPauseMs = 250;
constexpr long long kLongestPauseMs = 2000;
constexpr std::size_t kStatusSize = 2048;

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

struct answer {
  bool answered = false;
  image_entry active;  // of the kind verified
  std::array<char, kReasonSize> why{};
};

// One quiet read of the firmware status page: the reason of a failure is
// kept, not printed, as the expander may well be restarting.
answer read_once(const char *dev, bool data) {
  answer a;
  std::array<std::uint8_t, kStatusSize> page{};
  std::FILE *const reasons = g_sg_reason_stream;
  g_sg_reason_stream = nullptr;
  const int result = sg_receive_page(dev, kPageFirmwareStatus, page);
  if (result != 0 || bytes::u8(page, 0) != kPageFirmwareStatus) sg_reason(a.why.data(), a.why.size());
  g_sg_reason_stream = reasons;
  if (result != 0) return a;
  if (bytes::u8(page, 0) != kPageFirmwareStatus) {
    if (a.why[0] == '\0') std::snprintf(a.why.data(), a.why.size(), "%s: no firmware status page (0x82)", dev);
    return a;
  }
  const firmware_images images = parse_firmware_images(page);
  const image_entry &e = data ? images.data[0] : images.firmware[0];
  if (!e.reported || !e.active) {
    std::snprintf(a.why.data(), a.why.size(), "%s: the firmware status page names no active image", dev);
    return a;
  }
  a.answered = true;
  a.active = e;
  return a;
}

// Reads the page with a doubling pause until the expander runs expect or the
// time is up; last is the final read, last_answered the final one answered.
void wait_for_version(const char *dev, const char *expect, bool data, unsigned long timeout_s, answer &last,
                      answer &last_answered) {
  const long long deadline = now_ms() + static_cast<long long>(timeout_s) * 1000;
  long long pause = kFirstPauseMs;
  for (;;) {
    last = read_once(dev, data);
    if (last.answered) {
      last_answered = last;
      if (std::strcmp(last.active.version.data(), expect) == 0) return;
    }
    const long long left = deadline - now_ms();
    if (left <= 0) return;
    pause_ms(pause < left ? pause : left);
    pause = pause * 2 < kLongestPauseMs ? pause * 2 : kLongestPauseMs;
  }
}

// The image the expander last answered with, or null when it never answered.
json_doc::json running_json(const answer &last_answered) {
  if (!last_answered.answered) return nullptr;
  return {{"number", last_answered.active.number}, {"version", last_answered.active.version.data()}};
}

}  // namespace

int verify_command(const char *dev, const char *expect, bool data, unsigned long timeout_s, const run_args &run) {
  const char *kind = data ? "data image" : "firmware image";
  const char *prefix = data ? "data" : "image";
  answer last;
  answer last_answered;
  wait_for_version(dev, expect, data, timeout_s, last, last_answered);

  int exit_status = kExitFailed;
  const char *outcome = "no_answer";
  std::array<char, kReasonSize> line{};
  if (last.answered && std::strcmp(last.active.version.data(), expect) == 0) {
    exit_status = kExitOk;
    outcome = "verified";
    std::snprintf(line.data(), line.size(), "verified: %s runs %s %s (%s%d)", dev, kind, expect, prefix,
                  last.active.number);
  } else if (last_answered.answered) {
    exit_status = kExitVerifyOtherVersion;
    outcome = "other_version";
    std::snprintf(line.data(), line.size(), "not verified: %s runs %s %s (%s%d), not %s", dev, kind,
                  last_answered.active.version.data(), prefix, last_answered.active.number, expect);
    if (!last.answered) pages_warning("verify: last read: %s", last.why.data());
  } else {
    std::snprintf(line.data(), line.size(), "not verified: %s did not answer within %lu s", dev, timeout_s);
    pages_error("verify: %s", last.why.data());
  }

  if (run.json) {
    json_doc::json doc = json_doc::begin("verify", run.argc, run.argv);
    doc["verify"] = {{"device", dev},      {"kind", data ? "data" : "firmware"},
                     {"expect", expect},   {"timeout_seconds", timeout_s},
                     {"outcome", outcome}, {"running", running_json(last_answered)},
                     {"summary", line.data()}};
    return json_doc::finish_document(doc, exit_status);
  }
  std::printf("%s\n", line.data());
  return finish_text(kExitOk) != kExitOk ? kExitFailed : exit_status;
}
