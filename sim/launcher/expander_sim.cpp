// expander-sim: runs a command with the simulated expander standing in for
// the SCSI generic nodes /dev/sgsim<N>. Options travel to the preloaded
// library in environment variables; see sim/README.md.
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "door/sim_env.h"
#include "model/fleet.h"
#include "model/model.h"

namespace {

constexpr const char *kPreloadName = "libexpander_sim_preload.so";

constexpr const char kHelp[] =
    "usage: expander-sim [options] -- command [args...]\n"
    "  --state DIR           expander state kept between runs (default ~/.local/state/expander-sim)\n"
    "  --reset-state         start from the factory state\n"
    "  --pages DIR           serve pages from raw page files (page_82.bin, page_f4_0.bin, ...)\n"
    "  --fault RULE          inject a fault, e.g. check:3, ioctl:0x04/2, open:*, short:1=16 (repeatable)\n"
    "  --nodes N             simulate /dev/sgsim0 .. /dev/sgsim<N-1> (default: one per expander)\n"
    "  --expanders N         simulate N expanders, each its own identity and state (default 1)\n"
    "  --path NODE=EXPANDER  node /dev/sgsim<NODE> reaches that expander (repeatable;\n"
    "                        default: node N reaches expander N modulo the number of expanders)\n"
    "  --quirk [E:]KIND      make expander E (default 0) misbehave: ignore-activation,\n"
    "                        silent-after-reset=SECONDS, old-image-after-reset (repeatable)\n"
    "  --transcript FILE     append a line per open, request and close to FILE\n"
    "  --transcript-data N   keep at most N bytes of sent data per request\n"
    "  --capture DIR         put the operation log and audit lines in DIR (default STATE/capture)\n"
    "  --no-capture          let the operation log and syslog through to the host\n"
    "  --log-unopenable      make the operation log fail to open\n"
    "  --preload FILE        the preload library (default: beside this program)\n"
    "  -h, --help            show this text\n"
    "      --version         show the version\n";

constexpr const char kVersion[] = "expander-sim " CORVANE_VERSION "\n";

struct options {
  std::string state;
  std::string pages;
  std::string faults;
  std::string nodes;
  std::string expanders;
  std::string paths;
  std::string quirks;
  std::string transcript;
  std::string transcript_data;
  std::string capture;
  std::string preload;
  bool no_capture = false;
  bool log_unopenable = false;
  bool reset_state = false;
  int command = -1;  // index of the command in argv
};

std::string beside_self(const char *name) {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(".");
  const auto slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash);
  return dir + "/" + name;
}

// A whole decimal number from min to max, nothing before or after it.
bool whole_number(const char *text, unsigned long min, unsigned long max) {
  if (text == nullptr || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char *end = nullptr;
  const unsigned long v = std::strtoul(text, &end, 10);
  return errno == 0 && *end == '\0' && v >= min && v <= max;
}

enum option_id : int {
  kOptState = 256, kOptResetState, kOptPages, kOptFault, kOptNodes, kOptTranscript, kOptTranscriptData,
  kOptCapture, kOptNoCapture, kOptLogUnopenable, kOptPreload, kOptVersion, kOptExpanders, kOptPath, kOptQuirk,
};

constexpr struct option kLongOptions[] = {
    {"state", required_argument, nullptr, kOptState},
    {"reset-state", no_argument, nullptr, kOptResetState},
    {"pages", required_argument, nullptr, kOptPages},
    {"fault", required_argument, nullptr, kOptFault},
    {"nodes", required_argument, nullptr, kOptNodes},
    {"expanders", required_argument, nullptr, kOptExpanders},
    {"path", required_argument, nullptr, kOptPath},
    {"quirk", required_argument, nullptr, kOptQuirk},
    {"transcript", required_argument, nullptr, kOptTranscript},
    {"transcript-data", required_argument, nullptr, kOptTranscriptData},
    {"capture", required_argument, nullptr, kOptCapture},
    {"no-capture", no_argument, nullptr, kOptNoCapture},
    {"log-unopenable", no_argument, nullptr, kOptLogUnopenable},
    {"preload", required_argument, nullptr, kOptPreload},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kOptVersion},
    {nullptr, 0, nullptr, 0},
};

enum class parsed { run, help, version, usage_error };

parsed bad_number(const char *option, const char *value) {
  std::fprintf(stderr, "expander-sim: %s: not a valid number: '%s'\n", option, value);
  return parsed::usage_error;
}

// Options end at "--" or at the first word that is not one: the command.
parsed parse(int argc, char **argv, options &o) {
  opterr = 0;
  optind = 1;
  int c = 0;
  while ((c = getopt_long(argc, argv, "+:h", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case kOptState: o.state = optarg; break;
      case kOptResetState: o.reset_state = true; break;
      case kOptPages: o.pages = optarg; break;
      case kOptFault: o.faults += (o.faults.empty() ? "" : ",") + std::string(optarg); break;
      case kOptNodes:
        if (!whole_number(optarg, 1, sim::kMaxNodes)) return bad_number("--nodes", optarg);
        o.nodes = optarg;
        break;
      case kOptExpanders:
        if (!whole_number(optarg, 1, sim::kMaxExpanders)) return bad_number("--expanders", optarg);
        o.expanders = optarg;
        break;
      case kOptPath: o.paths += (o.paths.empty() ? "" : ",") + std::string(optarg); break;
      case kOptQuirk: o.quirks += (o.quirks.empty() ? "" : ",") + std::string(optarg); break;
      case kOptTranscript: o.transcript = optarg; break;
      case kOptTranscriptData:
        if (!whole_number(optarg, 0, 1u << 30)) return bad_number("--transcript-data", optarg);
        o.transcript_data = optarg;
        break;
      case kOptCapture: o.capture = optarg; break;
      case kOptNoCapture: o.no_capture = true; break;
      case kOptLogUnopenable: o.log_unopenable = true; break;
      case kOptPreload: o.preload = optarg; break;
      case 'h': return parsed::help;
      case kOptVersion: return parsed::version;
      case ':':
        std::fprintf(stderr, "expander-sim: option %s needs a value\n", argv[optind - 1]);
        return parsed::usage_error;
      default:
        std::fprintf(stderr, "expander-sim: unknown option %s\n", argv[optind - 1]);
        return parsed::usage_error;
    }
  }
  if (optind >= argc) {
    std::fputs("expander-sim: no command to run\n", stderr);
    return parsed::usage_error;
  }
  o.command = optind;
  return parsed::run;
}

void set(const char *name, const std::string &value) {
  if (value.empty()) {
    unsetenv(name);
  } else {
    setenv(name, value.c_str(), 1);
  }
}

// The lowest descriptor that carries the preload library across exec when its
// path cannot stand in LD_PRELOAD: far above those the program opens itself.
constexpr int kPreloadFd = 1000;

// The LD_PRELOAD entry for the library at path, or "" when it cannot be
// opened: then the command must not run, as it would reach the real devices,
// log and syslog. The dynamic loader splits LD_PRELOAD at blanks and colons,
// so a path holding either (a build tree under "/srv/my work") is handed over
// as /proc/self/fd/N of a descriptor left open across exec.
std::string preload_entry(const std::string &path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "expander-sim: cannot open the preload library %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return "";
  }
  if (path.find_first_of(" \t\n:") == std::string::npos) {
    close(fd);
    return path;
  }
  int kept = fcntl(fd, F_DUPFD, kPreloadFd);  // the copy is not closed on exec
  if (kept < 0) {
    kept = fcntl(fd, F_DUPFD, 3);
  }
  close(fd);
  if (kept < 0) {
    std::fprintf(stderr, "expander-sim: cannot keep the preload library %s open: %s\n", path.c_str(),
                 std::strerror(errno));
    return "";
  }
  return "/proc/self/fd/" + std::to_string(kept);
}

// The preload goes first in LD_PRELOAD; a sanitizer runtime linked into the
// program then no longer comes first, which it would refuse to accept.
void set_preload(const std::string &preload) {
  const char *old = std::getenv("LD_PRELOAD");
  set("LD_PRELOAD", old != nullptr && old[0] != '\0' ? preload + ":" + old : preload);
  const char *asan = std::getenv("ASAN_OPTIONS");
  std::string a = asan != nullptr ? asan : "";
  if (a.find("verify_asan_link_order") == std::string::npos) {
    set("ASAN_OPTIONS", a.empty() ? "verify_asan_link_order=0" : a + ":verify_asan_link_order=0");
  }
}

bool configure(options &o) {
  std::string why;
  if (!sim::faults_valid(o.faults, why)) {
    std::fprintf(stderr, "expander-sim: %s\n", why.c_str());
    return false;
  }
  sim::fleet layout;
  if (!sim::parse_fleet(o.expanders, o.nodes, o.paths, o.quirks, layout, why)) {
    std::fprintf(stderr, "expander-sim: %s\n", why.c_str());
    return false;
  }
  if (o.state.empty()) o.state = sim::default_state_dir();
  if (o.reset_state) {
    for (unsigned e = 0; e < layout.expanders; ++e) {
      const std::string dir = sim::expander_config(layout, e, o.state, "", "").state_dir;
      unlink((dir + "/state.txt").c_str());
      unlink((dir + "/received.bin").c_str());
    }
  }
  if (o.capture.empty() && !o.no_capture) o.capture = o.state + "/capture";
  if (!o.capture.empty()) {
    sim::config probe;
    probe.state_dir = o.capture;
    if (sim::model *m = sim::model_open(probe)) sim::model_close(m);  // creates the directory
  }
  set(sim::env::kState, o.state);
  set(sim::env::kPages, o.pages);
  set(sim::env::kFaults, o.faults);
  set(sim::env::kNodes, o.nodes);
  set(sim::env::kExpanders, o.expanders);
  set(sim::env::kPaths, o.paths);
  set(sim::env::kQuirks, o.quirks);
  set(sim::env::kTranscript, o.transcript);
  set(sim::env::kTranscriptData, o.transcript_data);
  set(sim::env::kCapture, o.no_capture ? std::string() : o.capture);
  set(sim::env::kLogUnopenable, o.log_unopenable ? "1" : "");
  const std::string preload = preload_entry(o.preload.empty() ? beside_self(kPreloadName) : o.preload);
  if (preload.empty()) return false;
  set_preload(preload);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  options o;
  switch (parse(argc, argv, o)) {
    case parsed::help: return std::fputs(kHelp, stdout) < 0 ? 1 : 0;
    case parsed::version: return std::fputs(kVersion, stdout) < 0 ? 1 : 0;
    case parsed::usage_error: std::fputs(kHelp, stderr); return 2;
    case parsed::run: break;
  }
  if (!configure(o)) return 2;
  execvp(argv[o.command], argv + o.command);
  const int error = errno;
  std::fprintf(stderr, "expander-sim: cannot run %s: %s\n", argv[o.command], std::strerror(error));
  if (error == ENOENT && std::strchr(argv[o.command], '/') == nullptr) {
    std::fprintf(stderr, "expander-sim: %s is not on PATH; give its full path (corvane is in /usr/sbin)\n",
                 argv[o.command]);
  }
  return error == ENOENT ? 127 : 126;
}
