// corvane-pages decode: captured pages through the log road's own check and
// decoders, the text written to standard output as corvane log appends it to
// the operation log. A capture directory gives the firmware status page's
// version block, its pages in the order corvane log reads them, then the NV
// crash log from its chunk files. With --json the same text, line by line,
// goes into one document with the facts of every page and its decoded fields.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "logs/logs.h"
#include "oplog/oplog.h"
#include "pages/decode_fields.h"
#include "pages/json_doc.h"
#include "pages/json_stream.h"
#include "pages/pages.h"
#include "pages/status.h"
#include "sg/sg.h"

namespace {

using json_doc::json;

constexpr unsigned kMaxChunkFiles = 4096;

enum class nv_state { idle, collecting, skipping };

struct decode_run {
  page_span page;                                   // the log road's page buffer
  std::span<std::uint8_t, kMaxPageBytes> file;      // bytes of the file being decoded
  int forced_code = -1;                             // --page, or -1
  bool hex = false;                                 // --hex: the bytes, not their decoding
  bool unchecked = false;                           // --unchecked: decode failing pages too
  int status = kExitOk;
  bool as_json = false;
  json_doc::stream *out = nullptr;                  // with --json: the document's "pages"
  struct line_sink *lines = nullptr;                // with --json: the decoded text
  nv_assembly assembly;
  nv_state nv = nv_state::idle;
  std::uint32_t nv_gathered = 0;
  char nv_last[4096] = {};                          // path of the last chunk taken
  json nv_files = json::array();                    // chunk files of the image being assembled
  decoded_work kept;                                // with --json: what the decoders were given

  decode_run(page_span p, std::span<std::uint8_t, kMaxPageBytes> f) : page(p), file(f) {}
};

void report(decode_run &run, const char *path, const char *why) {
  pages_error("%s: %s", path, why);
  run.status = kExitFailed;
}

bool decodable(int code) {
  return is_log_page(code) || code == kPageNvLog || code == kPageFirmwareStatus;
}

ssize_t keep_text(void *cookie, const char *bytes, std::size_t n) {
  static_cast<std::string *>(cookie)->append(bytes, n);
  return static_cast<ssize_t>(n);
}

// With --json, decoded text never reaches standard output, which holds the
// document: the log stream is a buffered stream whose bytes collect here and
// are taken page by page as the entry's "lines". Without memory for the lines
// they are dropped and the loss reported.
struct line_sink {
  std::string held;
  std::FILE *stream = nullptr;
  std::FILE *before = nullptr;  // the log stream the lines displaced

  line_sink() {
    cookie_io_functions_t io{};
    io.write = keep_text;
    stream = fopencookie(&held, "w", io);
    if (stream == nullptr) {
      pages_error("no memory for the decoded lines; they are left out of the document");
      stream = std::fopen("/dev/null", "w");
    }
    if (stream != nullptr) before = set_log_stream(stream);
  }
  line_sink(const line_sink &) = delete;
  line_sink &operator=(const line_sink &) = delete;
  ~line_sink() {
    if (stream == nullptr) return;
    set_log_stream(before);
    std::fclose(stream);
  }

  // Forgets what was written before a page.
  void start() {
    if (stream != nullptr) std::fflush(stream);
    held.clear();
  }

  // The lines written since start, each without its newline, as the
  // entry's "lines".
  void write_lines(json_doc::stream &out) {
    json_doc::key(out, "lines");
    json_doc::open_array(out);
    if (stream != nullptr && std::fflush(stream) == 0) {
      const std::string_view all(held);
      std::size_t begin = 0;
      while (begin < all.size()) {
        const std::size_t end = std::min(all.find('\n', begin), all.size());
        json_doc::value(out, all.substr(begin, end - begin));
        begin = end + 1;
      }
    }
    json_doc::close(out);
    held.clear();
  }
};

// A page's text begins: with --json its lines are gathered from here.
void start_lines(decode_run &run) {
  if (run.lines != nullptr) run.lines->start();
}

// Opens a page's entry in the document with its first keys.
void open_entry(json_doc::stream &out, const char *path, int code, const char *outcome) {
  json_doc::open_object(out);
  json_doc::member(out, "path", path);
  json_doc::code_and_text(out, "page_code", static_cast<unsigned>(code), page_name(code));
  json_doc::member(out, "outcome", outcome);
}

// Ends a page's entry with its lines.
void close_entry(decode_run &run) {
  run.lines->write_lines(*run.out);
  json_doc::close(*run.out);
}

// The firmware status page: the version block as corvane log writes it at
// the head of the log (its time stamp aside).
void decode_firmware_status(decode_run &run, const char *path, std::span<const std::uint8_t> bytes) {
  start_lines(run);
  const char *outcome = "decoded";
  if (bytes::u8(bytes, page_header::kCode) == 0) {
    report(run, path, "page 0x82 with a page code of 0: corvane shows no version block for it");
    outcome = "failed";
  } else {
    char block[kTextSize] = {};
    firmware_version_block(bytes, block);
    recorde_log(block, 0);
  }
  if (run.out == nullptr) return;
  open_entry(*run.out, path, kPageFirmwareStatus, outcome);
  json images = json::object();
  images_json(parse_firmware_images(bytes), images);
  for (const auto &[name, made] : images.items()) json_doc::member(*run.out, name, made);
  close_entry(run);
}

// The log road's check and decoding: 0, -1 when the page fails, 1 when it
// fails its check and --unchecked decoded it all the same.
// With --json the work buffer and entry count the decoders took are kept for
// the page's structured keys.
int run_decoder(decode_run &run, int code, std::size_t held) {
  decoded_work *keep = nullptr;
  if (run.as_json) {
    run.kept.count = -1;
    keep = &run.kept;
  }
  if (run.unchecked) return decode_log_page_unchecked(run.page, code, held, keep);
  return decode_log_page(run.page, code, held, keep) == 0 ? 0 : -1;
}

// The page's decoded fields beside its lines, when its decoders ran.
void add_fields(decode_run &run, int code, int result, std::size_t held) {
  if (result < 0) return;
  decoded_fields_json(code, run.kept, page_bytes_held(run.page, held), *run.out);
}

// The page as a read by corvane would leave it: its first kReceiveSize bytes
// in a cleared page buffer.
void decode_page(decode_run &run, const char *path, std::span<const std::uint8_t> bytes, int code) {
  start_lines(run);
  memset_s(run.page.data(), run.page.size(), 0, run.page.size());
  const std::size_t held = std::min(bytes.size(), kReceiveSize);
  memcpy_s(run.page.data(), run.page.size(), bytes.data(), held);
  log_page_heading(code);
  char why[kWhySize] = {};
  const char *outcome = "decoded";
  const int result = run_decoder(run, code, kReceiveSize);
  if (result < 0) {
    sprintf_s(why, sizeof why, "page 0x%02X fails the log road's check or decoding", code);
    report(run, path, why);
    outcome = "failed";
  } else if (result > 0) {
    sprintf_s(why, sizeof why, "page 0x%02X fails the log road's check; decoded unchecked", code);
    report(run, path, why);
  }
  if (bytes.size() > kReceiveSize) {
    sprintf_s(why, sizeof why, "page of %zu bytes: corvane reads its first %zu, and only those were decoded",
              bytes.size(), kReceiveSize);
    report(run, path, why);
  }
  if (run.out == nullptr) return;
  open_entry(*run.out, path, code, outcome);
  if (result > 0) json_doc::member(*run.out, "unchecked", true);
  json_doc::member(*run.out, "page_bytes", bytes.size());
  json_doc::member(*run.out, "bytes_decoded", held);
  add_fields(run, code, result, kReceiveSize);
  close_entry(run);
}

// Ends a run of NV chunk files: an image still lacking bytes is reported.
void end_nv_group(decode_run &run) {
  if (run.nv == nv_state::collecting) {
    char why[kWhySize] = {};
    sprintf_s(why, sizeof why, "the NV crash log chunks end after %u of %u image bytes",
              run.assembly.gathered, run.assembly.size);
    report(run, run.nv_last, why);
    if (run.out != nullptr) {
      json_doc::stream &out = *run.out;
      open_entry(out, run.nv_last, kPageNvLog, "incomplete");
      json_doc::member(out, "chunk_files", run.nv_files);
      json_doc::member(out, "image_bytes", run.assembly.size);
      json_doc::member(out, "bytes_gathered", run.assembly.gathered);
      json_doc::key(out, "lines");
      json_doc::open_array(out);
      json_doc::close(out);
      json_doc::close(out);
    }
    nv_image dropped = nv_assembly_take(run.assembly);
    std::free(dropped.data);
  }
  run.nv = nv_state::idle;
  run.nv_files = json::array();
}

// One chunk of the NV crash log, assembled by corvane's own rules; a complete
// image is decoded as corvane's log road decodes it.
void add_nv_chunk(decode_run &run, const char *path, std::span<const std::uint8_t> bytes) {
  if (run.nv == nv_state::skipping) return;
  run.nv = nv_state::collecting;
  strncpy_s(run.nv_last, sizeof run.nv_last, path, sizeof run.nv_last - 1);
  if (run.as_json) run.nv_files.push_back(path);
  const nv_step step = nv_assembly_add(run.assembly, bytes.first(std::min(bytes.size(), kReceiveSize)));
  if (step == nv_step::failed) {
    report(run, path,
           "NV chunk does not continue the crash log image (no image, a later chunk first, "
           "a restart, another image size, no data, or data past the image or the chunk)");
    run.nv = nv_state::skipping;
    run.nv_files = json::array();
    return;
  }
  if (step == nv_step::more) return;
  run.nv = nv_state::idle;
  const std::uint32_t image_size = run.assembly.size;
  start_lines(run);
  const std::size_t held = place_nv_image(run.page, nv_assembly_take(run.assembly));
  log_page_heading(kPageNvLog);
  const char *outcome = "decoded";
  const int result = run_decoder(run, kPageNvLog, held);
  if (result < 0) {
    report(run, path, "the NV crash log image fails its header CRC check");
    outcome = "failed";
  } else if (result > 0) {
    report(run, path, "the NV crash log image fails its header CRC check; decoded unchecked");
  }
  if (run.out != nullptr) {
    open_entry(*run.out, path, kPageNvLog, outcome);
    if (result > 0) json_doc::member(*run.out, "unchecked", true);
    json_doc::member(*run.out, "chunk_files", run.nv_files);
    json_doc::member(*run.out, "image_bytes", image_size);
    json_doc::member(*run.out, "bytes_decoded", held);
    add_fields(run, kPageNvLog, result, held);
    close_entry(run);
  }
  run.nv_files = json::array();
}

// Loads and checks one page file; its bytes, or an empty span after a report.
std::span<const std::uint8_t> load(decode_run &run, const char *path, const char *name, int dir_fd) {
  char why[kWhySize] = {};
  const long n = load_page_file(name, run.file, why, dir_fd);
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

// A whole page, loaded and checked, as decode takes it.
void decode_loaded(decode_run &run, const char *path, std::span<const std::uint8_t> bytes) {
  if (run.hex) {
    print_hex_page(stdout, path, bytes);
    return;
  }
  const int code = run.forced_code >= 0 ? run.forced_code : bytes[0];
  if (code != kPageNvLog) end_nv_group(run);
  if (!decodable(code)) {
    char why[kWhySize] = {};
    sprintf_s(why, sizeof why,
              "page code 0x%02X is none of the pages corvane decodes (0x82, %s, 0xF4)", code,
              kLogPageCodesText.data());
    report(run, path, why);
    return;
  }
  if (code == kPageNvLog) {
    add_nv_chunk(run, path, bytes);
  } else if (code == kPageFirmwareStatus) {
    decode_firmware_status(run, path, bytes);
  } else {
    decode_page(run, path, bytes, code);
  }
}

void decode_file(decode_run &run, const char *path, const char *name, int dir_fd) {
  const std::span<const std::uint8_t> bytes = load(run, path, name, dir_fd);
  if (bytes.empty()) return;
  decode_loaded(run, path, bytes);
}

// True when the capture directory holds name, as a file or as anything else
// (a link or a device is then refused when it is read).
bool holds(int dir_fd, const char *name) {
  struct stat st {};
  return fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// One file of a capture directory: its name inside it and its path as shown.
void decode_member(decode_run &run, const char *dir, int dir_fd, const char *name, bool needed) {
  char path[4096] = {};
  sprintf_s(path, sizeof path, "%s/%s", dir, name);
  if (!holds(dir_fd, name)) {
    if (needed) report(run, path, "not in the capture");
    return;
  }
  decode_file(run, path, name, dir_fd);
}

// A capture directory: the firmware status page, the log command's pages in
// its order, then the NV crash log from page_f4_0.bin, page_f4_1.bin ...
// until the image is whole. Every file is opened inside the directory and
// none through a symbolic link.
void decode_directory(decode_run &run, const char *dir) {
  guard::fd dir_fd(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir_fd.value < 0) {
    char why[kWhySize] = {};
    sprintf_s(why, sizeof why, "cannot be opened: %s", std::strerror(errno));
    report(run, dir, why);
    return;
  }
  char name[64] = {};
  sprintf_s(name, sizeof name, "page_%02x.bin", kPageFirmwareStatus);
  decode_member(run, dir, dir_fd.value, name, false);
  for (const log_page &page : kLogPages) {
    sprintf_s(name, sizeof name, "page_%02x.bin", page.code);
    decode_member(run, dir, dir_fd.value, name, true);
  }
  end_nv_group(run);
  for (unsigned chunk = 0; chunk < kMaxChunkFiles; ++chunk) {
    sprintf_s(name, sizeof name, "page_f4_%u.bin", chunk);
    if (!holds(dir_fd.value, name)) break;
    char path[4096] = {};
    sprintf_s(path, sizeof path, "%s/%s", dir, name);
    const std::span<const std::uint8_t> bytes = load(run, path, name, dir_fd.value);
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

}  // namespace

int parse_page_code(const char *text) {
  if (text == nullptr || text[0] == '\0' || text[0] == '-' || text[0] == '+') return -1;
  char *end = nullptr;
  errno = 0;
  const long code = std::strtol(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || code < 0 || code > 0xFF) return -1;
  return static_cast<int>(code);
}

int decode_pages_document(std::span<const std::span<const std::uint8_t>> list, const char *path,
                          std::string &document) {
  guard::heap<std::uint8_t> page_block(static_cast<std::uint8_t *>(std::malloc(kPageBufferSize)));
  guard::heap<std::uint8_t> file(static_cast<std::uint8_t *>(std::malloc(kMaxPageBytes)));
  if (page_block.value == nullptr || file.value == nullptr) return kExitFailed;
  decode_run run(page_span(page_block.value, kPageBufferSize),
                 std::span<std::uint8_t, kMaxPageBytes>(file.value, kMaxPageBytes));
  json_doc::stream out(nullptr);
  line_sink lines;
  run.as_json = true;
  run.out = &out;
  run.lines = &lines;
  json_doc::open_document(out, json_doc::begin("decode", 0, nullptr));
  json_doc::key(out, "pages");
  json_doc::open_array(out);
  for (const std::span<const std::uint8_t> bytes : list) decode_loaded(run, path, bytes);
  end_nv_group(run);
  json_doc::close(out);
  json_doc::finish_stream(out, run.status);
  document = json_doc::take_text(out);
  return run.status;
}

void print_hex_page(std::FILE *out, const char *path, std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kPerLine = 16;
  std::fprintf(out, "# page 0x%02x, %zu bytes, from %s\n", bytes::u8(bytes, page_header::kCode),
               bytes.size(), path);
  for (std::size_t at = 0; at < bytes.size(); at += kPerLine) {
    const std::size_t n = std::min(kPerLine, bytes.size() - at);
    for (std::size_t i = 0; i < n; ++i) std::fprintf(out, i == 0 ? "%02x" : " %02x", bytes[at + i]);
    std::fputc('\n', out);
  }
}

int decode_command(std::span<char *> paths, int page, const run_args &args, bool hex, bool unchecked) {
  guard::heap<std::uint8_t> page_block(static_cast<std::uint8_t *>(std::malloc(kPageBufferSize)));
  guard::heap<std::uint8_t> file(static_cast<std::uint8_t *>(std::malloc(kMaxPageBytes)));
  if (page_block.value == nullptr || file.value == nullptr) {
    pages_error("no memory for the page buffers");
    return kExitFailed;
  }
  decode_run run(page_span(page_block.value, kPageBufferSize),
                 std::span<std::uint8_t, kMaxPageBytes>(file.value, kMaxPageBytes));
  run.forced_code = page;
  run.as_json = args.json;
  run.hex = hex;
  run.unchecked = unchecked;
  // The decoders' text goes where corvane log would append it, but here.
  set_log_stream(stdout);
  // The document is written as the pages are decoded: header, "pages", then
  // the exit status and the messages.
  json_doc::stream out(stdout);
  std::optional<line_sink> lines;
  if (run.as_json) {
    run.out = &out;
    run.lines = &lines.emplace();
    json_doc::open_document(out, json_doc::begin("decode", args.argc, args.argv));
    json_doc::key(out, "pages");
    json_doc::open_array(out);
  }
  for (char *path : paths) {
    if (is_directory(path)) {
      end_nv_group(run);
      if (run.forced_code >= 0) {
        report(run, path, "--page applies to page files, not to a capture directory");
        continue;
      }
      decode_directory(run, path);
    } else {
      decode_file(run, path, path, AT_FDCWD);
    }
  }
  end_nv_group(run);
  if (!run.as_json) return finish_text(run.status);
  json_doc::close(out);
  return json_doc::finish_stream_document(out, run.status);
}
