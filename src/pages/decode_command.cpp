// corvane-pages decode: captured pages through the log road's own check and
// decoders, the text written to standard output as corvane log appends it to
// the operation log. A capture directory gives its pages in the order corvane
// log reads them, then the NV crash log from its chunk files.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "logs/logs.h"
#include "oplog/oplog.h"
#include "pages/pages.h"

namespace {

constexpr int kLogOrder[] = {kPageRamLog, kPageEnclosureStatus, kPageAdditionalElement, kPageSssf};
constexpr unsigned kMaxChunkFiles = 4096;

enum class nv_state { idle, collecting, skipping };

struct decode_run {
  page_span page;                                   // the log road's page buffer
  std::span<std::uint8_t, kMaxPageBytes> file;      // bytes of the file being decoded
  int forced_code = -1;                             // --page, or -1
  int status = kExitOk;
  nv_assembly assembly;
  nv_state nv = nv_state::idle;
  std::uint32_t nv_gathered = 0;
  char nv_last[4096] = {};                          // path of the last chunk taken

  decode_run(page_span p, std::span<std::uint8_t, kMaxPageBytes> f) : page(p), file(f) {}
};

void report(decode_run &run, const char *path, const char *why) {
  std::fprintf(stderr, "corvane-pages: %s: %s\n", path, why);
  run.status = kExitFailed;
}

bool decodable(int code) {
  return code == kPageRamLog || code == kPageNvLog || code == kPageEnclosureStatus ||
         code == kPageAdditionalElement || code == kPageSssf;
}

// The page as a read by corvane would leave it: its first kReceiveSize bytes
// in a cleared page buffer.
void decode_page(decode_run &run, const char *path, std::span<const std::uint8_t> bytes, int code) {
  memset_s(run.page.data(), run.page.size(), 0, run.page.size());
  const std::size_t held = std::min(bytes.size(), kReceiveSize);
  memcpy_s(run.page.data(), run.page.size(), bytes.data(), held);
  log_page_heading(code);
  char why[kWhySize] = {};
  if (decode_log_page(run.page, code, kReceiveSize) != 0) {
    sprintf_s(why, sizeof why, "page 0x%02X fails the log road's check or decoding", code);
    report(run, path, why);
  }
  if (bytes.size() > kReceiveSize) {
    sprintf_s(why, sizeof why, "page of %zu bytes: corvane reads its first %zu, and only those were decoded",
              bytes.size(), kReceiveSize);
    report(run, path, why);
  }
}

// Ends a run of NV chunk files: an image still lacking bytes is reported.
void end_nv_group(decode_run &run) {
  if (run.nv == nv_state::collecting) {
    char why[kWhySize] = {};
    sprintf_s(why, sizeof why, "the NV crash log chunks end after %u of %u image bytes",
              run.assembly.gathered, run.assembly.size);
    report(run, run.nv_last, why);
    nv_image dropped = nv_assembly_take(run.assembly);
    std::free(dropped.data);
  }
  run.nv = nv_state::idle;
}

// One chunk of the NV crash log, assembled by corvane's own rules; a complete
// image is decoded as corvane's log road decodes it.
void add_nv_chunk(decode_run &run, const char *path, std::span<const std::uint8_t> bytes) {
  if (run.nv == nv_state::skipping) return;
  run.nv = nv_state::collecting;
  strncpy_s(run.nv_last, sizeof run.nv_last, path, sizeof run.nv_last - 1);
  const nv_step step = nv_assembly_add(run.assembly, bytes.first(std::min(bytes.size(), kReceiveSize)));
  if (step == nv_step::failed) {
    report(run, path,
           "NV chunk does not continue the crash log image (no image, a later chunk first, "
           "a restart, another image size, no data, or data past the image or the chunk)");
    run.nv = nv_state::skipping;
    return;
  }
  if (step == nv_step::more) return;
  run.nv = nv_state::idle;
  const nv_image image = nv_assembly_take(run.assembly);
  guard::heap<std::uint8_t> owned(image.data);
  memset_s(run.page.data(), run.page.size(), 0, run.page.size());
  const std::size_t held = std::min<std::size_t>(image.held, run.page.size());
  memcpy_s(run.page.data(), run.page.size(), image.data, held);
  log_page_heading(kPageNvLog);
  if (decode_log_page(run.page, kPageNvLog, held) != 0) {
    report(run, path, "the NV crash log image fails its header CRC check");
  }
}

// Loads and checks one page file; its bytes, or an empty span after a report.
std::span<const std::uint8_t> load(decode_run &run, const char *path) {
  char why[kWhySize] = {};
  const long n = load_page_file(path, run.file, why);
  if (n < 0) {
    report(run, path, why);
    return {};
  }
  const std::span<const std::uint8_t> bytes = run.file.first(static_cast<std::size_t>(n));
  if (check_whole_page(bytes, why) != 0) {
    report(run, path, why);
    return {};
  }
  return bytes;
}

void decode_file(decode_run &run, const char *path) {
  const std::span<const std::uint8_t> bytes = load(run, path);
  if (bytes.empty()) return;
  const int code = run.forced_code >= 0 ? run.forced_code : bytes[0];
  if (code != kPageNvLog) end_nv_group(run);
  if (!decodable(code)) {
    char why[kWhySize] = {};
    sprintf_s(why, sizeof why,
              "page code 0x%02X is none of the pages corvane decodes (0x80, 0x02, 0x0A, 0xF3, 0xF4)",
              code);
    report(run, path, why);
    return;
  }
  if (code == kPageNvLog) {
    add_nv_chunk(run, path, bytes);
  } else {
    decode_page(run, path, bytes, code);
  }
}

bool exists(const char *path) {
  struct stat st {};
  return stat(path, &st) == 0;
}

// A capture directory: the log command's pages in its order, then the NV
// crash log from page_f4_0.bin, page_f4_1.bin ... until the image is whole.
void decode_directory(decode_run &run, const char *dir) {
  char path[4096] = {};
  for (int code : kLogOrder) {
    sprintf_s(path, sizeof path, "%s/page_%02x.bin", dir, code);
    if (!exists(path)) {
      report(run, path, "not in the capture");
      continue;
    }
    decode_file(run, path);
  }
  end_nv_group(run);
  for (unsigned chunk = 0; chunk < kMaxChunkFiles; ++chunk) {
    sprintf_s(path, sizeof path, "%s/page_f4_%u.bin", dir, chunk);
    if (!exists(path)) break;
    const std::span<const std::uint8_t> bytes = load(run, path);
    if (bytes.empty()) break;
    add_nv_chunk(run, path, bytes);
    if (run.nv != nv_state::collecting) break;
  }
  end_nv_group(run);
}

bool is_directory(const char *path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// "--page 0xNN": the page code for every file; -1 when the text is no code.
int parse_page_code(const char *text) {
  char *end = nullptr;
  const long code = std::strtol(text, &end, 0);
  if (end == text || *end != '\0' || code < 0 || code > 0xFF) return -1;
  return static_cast<int>(code);
}

}  // namespace

int decode_command(int argc, char **argv) {
  guard::heap<std::uint8_t> page(static_cast<std::uint8_t *>(std::malloc(kPageBufferSize)));
  guard::heap<std::uint8_t> file(static_cast<std::uint8_t *>(std::malloc(kMaxPageBytes)));
  if (page.value == nullptr || file.value == nullptr) {
    std::fputs("corvane-pages: no memory for the page buffers\n", stderr);
    return kExitFailed;
  }
  decode_run run(page_span(page.value, kPageBufferSize),
                 std::span<std::uint8_t, kMaxPageBytes>(file.value, kMaxPageBytes));
  int first = 0;
  if (argc >= 2 && std::strcmp(argv[0], "--page") == 0) {
    run.forced_code = parse_page_code(argv[1]);
    if (run.forced_code < 0) {
      std::fprintf(stderr, "corvane-pages: --page %s: not a page code (0x00 to 0xFF)\n", argv[1]);
      return kExitUsage;
    }
    first = 2;
  }
  if (first >= argc) {
    std::fputs("corvane-pages: decode needs a capture directory or page files\n", stderr);
    return kExitUsage;
  }
  // The decoders' text goes where corvane log would append it, but here.
  set_log_stream(stdout);
  for (int i = first; i < argc; ++i) {
    if (is_directory(argv[i])) {
      end_nv_group(run);
      if (run.forced_code >= 0) {
        report(run, argv[i], "--page applies to page files, not to a capture directory");
        continue;
      }
      decode_directory(run, argv[i]);
    } else {
      decode_file(run, argv[i]);
    }
  }
  end_nv_group(run);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("corvane-pages: the decoded text could not be written\n", stderr);
    return kExitFailed;
  }
  return run.status;
}
