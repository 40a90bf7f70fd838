// corvane-pages: captures an expander's pages, decodes captured pages with
// corvane's own decoders, shows what a download would send and what an
// expander runs.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pages/check_verify.h"
#include "pages/pages.h"
#include "pages/status.h"
#include "sg/sg_reason.h"
#include "pages/watch.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

namespace {

constexpr char kUsage[] =
    "usage: corvane-pages capture [--json] DIR DEVICE\n"
    "       corvane-pages decode [--json | --hex] [--unchecked] [--page 0xNN] PATH...\n"
    "       corvane-pages image [--json] [--pieces] FILE\n"
    "       corvane-pages status [--json] DEVICE\n"
    "       corvane-pages check [--json] [--expect VERSION] IMAGE DEVICE\n"
    "       corvane-pages verify [--json] --expect VERSION [--data] [--timeout SECONDS] DEVICE\n"
    "       corvane-pages metrics [--textfile DIR] [DEVICE...]\n"
    "       corvane-pages health [--json] [--ignore ELEMENT[,ELEMENT...]] [DEVICE...]\n"
    "       corvane-pages events DEVICE --state FILE\n"
    "       corvane-pages --help | --version\n"
    "  capture  read the expander's pages (read-only) into the new directory DIR\n"
    "  decode   decode a capture directory or page files (binary or hex) to standard output,\n"
    "           as corvane log writes them to its operation log\n"
    "  image    what corvane download=FILE would send, without a device\n"
    "  status   the expander's identity and its firmware and data images (read-only)\n"
    "  check    before a download: whether the expander answers, what the image is, and\n"
    "           whether the expander runs VERSION already (exit 0 change, 2 nothing to do,\n"
    "           3 refused, 1 error)\n"
    "  verify   after a download: wait until the expander runs VERSION (exit 0 verified,\n"
    "           4 another version, 1 no answer)\n"
    "  metrics  the expanders' state in the Prometheus text format (every SES node without DEVICE)\n"
    "  health   a verdict per expander and overall, as a Nagios plugin\n"
    "  events   send RAM log entries not yet sent to the system log\n"
    "  --json   one JSON document on standard output instead of text\n"
    "  --hex    decode: each page's bytes as hex text instead of their decoding\n"
    "  --unchecked  decode: decode a page that fails its check all the same, marked so\n";

enum option_id {
  kOptJson = 1000, kOptPage, kOptPieces, kOptHex, kOptUnchecked, kOptExpect, kOptData, kOptTimeout,
  kOptHelp = 'h', kOptVersion = 'V'
};

constexpr option kOptions[] = {
    {"json", no_argument, nullptr, kOptJson},   {"page", required_argument, nullptr, kOptPage},
    {"pieces", no_argument, nullptr, kOptPieces}, {"hex", no_argument, nullptr, kOptHex},
    {"unchecked", no_argument, nullptr, kOptUnchecked},
    {"help", no_argument, nullptr, kOptHelp},
    {"version", no_argument, nullptr, kOptVersion}, {"expect", required_argument, nullptr, kOptExpect},
    {"data", no_argument, nullptr, kOptData},       {"timeout", required_argument, nullptr, kOptTimeout},
    {nullptr, 0, nullptr, 0}};

int usage_error(const char *why) {
  if (why != nullptr) std::fprintf(stderr, "corvane-pages: %s\n", why);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int print_and_exit(const char *text) {
  std::fputs(text, stdout);
  return finish_text(kExitOk);
}

struct command_line {
  const char *command = nullptr;
  bool json = false;
  bool pieces = false;
  bool hex = false;
  bool unchecked = false;
  int page = -1;
  bool help = false;
  bool version = false;
  int first_operand = 0;
  const char *expect = nullptr;
  bool data = false;
  const char *timeout = nullptr;
};

bool is_command(const command_line &line, const char *name) {
  return line.command != nullptr && std::strcmp(line.command, name) == 0;
}

// Whole seconds from 0 to the longest wait.
bool parse_timeout(const char *text, unsigned long &seconds) {
  if (text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char *end = nullptr;
  seconds = std::strtoul(text, &end, 10);
  return errno == 0 && *end == '\0' && seconds <= kVerifyMaxTimeoutS;
}

// Options that apply to a command it does not take are usage errors.
bool options_fit(const command_line &line, const char *command) {
  const bool decode = std::strcmp(command, "decode") == 0;
  const bool image = std::strcmp(command, "image") == 0;
  const bool check = std::strcmp(command, "check") == 0;
  const bool verify = std::strcmp(command, "verify") == 0;
  // --hex prints text, so it does not go with --json.
  return (line.page < 0 || decode) && (!line.pieces || image) && (!line.hex || (decode && !line.json)) &&
         (!line.unchecked || (decode && !line.hex)) && (line.expect == nullptr || check || verify) &&
         (!line.data || verify) && (line.timeout == nullptr || verify);
}

// Parses argv[first..argc); 0, or the usage error's exit status.
int parse_options(int argc, char **argv, int first, command_line &line) {
  optind = first;
  opterr = 0;
  int c = 0;
  while ((c = getopt_long(argc, argv, "hV", kOptions, nullptr)) != -1) {
    switch (c) {
      case kOptJson: line.json = true; break;
      case kOptPieces: line.pieces = true; break;
      case kOptHex: line.hex = true; break;
      case kOptUnchecked: line.unchecked = true; break;
      case kOptHelp: line.help = true; break;
      case kOptVersion: line.version = true; break;
      case kOptExpect: line.expect = optarg; break;
      case kOptData: line.data = true; break;
      case kOptTimeout: line.timeout = optarg; break;
      case kOptPage:
        line.page = parse_page_code(optarg);
        if (line.page < 0) {
          std::fprintf(stderr, "corvane-pages: --page %s: not a page code (0x00 to 0xFF)\n", optarg);
          return usage_error(nullptr);
        }
        break;
      default: {
        char why[kWhySize] = {};
        if (optopt != 0 && optopt < 256) {
          std::snprintf(why, sizeof why, "option -%c: unknown, or its value is missing", optopt);
        } else {
          std::snprintf(why, sizeof why, "%s: unknown option, or its value is missing",
                        argv[optind - 1]);
        }
        return usage_error(why);
      }
    }
  }
  line.first_operand = optind;
  return 0;
}

// check's command line: its exit status, a usage error included (1, as 2
// says "nothing to do" there).
int check_main(int argc, char **argv, command_line &line) {
  const char *why = nullptr;
  if (parse_options(argc, argv, 2, line) != 0) return kExitCheckError;
  if (line.help) return print_and_exit(kUsage);
  if (line.version) return print_and_exit("corvane-pages " CORVANE_VERSION "\n");
  if (!options_fit(line, line.command)) {
    why = "an option that command does not take";
  } else if (argc - line.first_operand != 2) {
    why = "check takes an image and a device";
  } else if (line.expect != nullptr && !valid_version(line.expect)) {
    why = "VERSION is three printable characters";
  }
  if (why != nullptr) {
    usage_error(why);
    return kExitCheckError;
  }
  const run_args run{argc, argv, line.json};
  return check_command(argv[line.first_operand], argv[line.first_operand + 1], line.expect, run);
}

int verify_main(const command_line &line, int operands, char **operand, const run_args &run) {
  unsigned long timeout = kVerifyDefaultTimeoutS;
  if (operands != 1) return usage_error("verify takes one device");
  if (line.expect == nullptr) return usage_error("verify needs --expect VERSION");
  if (!valid_version(line.expect)) return usage_error("VERSION is three printable characters");
  if (line.timeout != nullptr && !parse_timeout(line.timeout, timeout)) {
    return usage_error("--timeout takes whole seconds, 0 to 3600");
  }
  return verify_command(operand[0], line.expect, line.data, timeout, run);
}

// The commands that take the options parsed here, each with its operands.
int run_command(int argc, char **argv, const command_line &line) {
  const int operands = argc - line.first_operand;
  char **operand = argv + line.first_operand;
  const run_args run{argc, argv, line.json};
  if (std::strcmp(line.command, "capture") == 0) {
    if (operands != 2) return usage_error("capture takes a directory and a device");
    return capture_command(operand[0], operand[1], run);
  }
  if (std::strcmp(line.command, "decode") == 0) {
    if (operands < 1) return usage_error("decode needs a capture directory or page files");
    return decode_command({operand, static_cast<std::size_t>(operands)}, line.page, run, line.hex,
                          line.unchecked);
  }
  if (std::strcmp(line.command, "image") == 0) {
    if (operands != 1) return usage_error("image takes one file");
    return image_command(operand[0], line.pieces, run);
  }
  if (std::strcmp(line.command, "verify") == 0) return verify_main(line, operands, operand, run);
  if (std::strcmp(line.command, "status") == 0) {
    if (operands != 1) return usage_error("status takes one device");
    return status_command(operand[0], line.json, argc, argv);
  }
  return usage_error("unknown command");
}

}  // namespace

int main(int argc, char **argv) {
  // A failed exchange's reason reaches standard error through the run's own
  // messages, so that --json documents carry it too.
  g_sg_reason_stream = nullptr;
  command_line line;
  if (argc >= 2 && argv[1][0] == '-') {
    if (const int error = parse_options(argc, argv, 1, line); error != 0) return error;
    if (line.help) return print_and_exit(kUsage);
    if (line.version) return print_and_exit("corvane-pages " CORVANE_VERSION "\n");
    return usage_error("a command is needed first");
  }
  if (argc < 2) return usage_error(nullptr);
  line.command = argv[1];
  // The watching commands read their own options.
  if (std::strcmp(line.command, "metrics") == 0) return metrics_command(argc - 1, argv + 1);
  if (std::strcmp(line.command, "health") == 0) return health_command(argc - 1, argv + 1);
  if (std::strcmp(line.command, "events") == 0) return events_command(argc - 1, argv + 1);
  // check exits 2 for "nothing to do": its wrong command lines exit 1.
  if (is_command(line, "check")) return check_main(argc, argv, line);
  // Options may stand anywhere after the command; "--" ends them.
  if (const int error = parse_options(argc, argv, 2, line); error != 0) return error;
  if (line.help) return print_and_exit(kUsage);
  if (line.version) return print_and_exit("corvane-pages " CORVANE_VERSION "\n");
  if (!options_fit(line, line.command)) return usage_error("an option that command does not take");
  return run_command(argc, argv, line);
}
