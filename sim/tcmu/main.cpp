// corvane-tcmu: answers a user backstore of LIO as a simulated expander.
//
//   corvane-tcmu --uio /dev/uioN --serial TEXT --naa HEX16 [--state DIR]
//                [--pages DIR] [--faults RULES] [--record FILE] [--ready FILE]
//
// Maps the UIO device, answers every command the kernel queues on the ring
// and runs until it is killed. --ready names a file created once the ring is
// mapped: the LUN may be linked from then on (linking scans it at once).
// SIGHUP starts the model afresh, as a new program run does behind the
// preloaded door (fault counters and the NV log chunk sequence restart; the
// state directory stays), and creates the --ready file again once done.
#include "common/guards.h"
#include "tcmu/dispatch.h"
#include "tcmu/naa.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct options {
  std::string uio, serial, naa, record, ready;
  sim::config model;
};

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_restart = 0;

void on_signal(int) { g_stop = 1; }
void on_restart(int) { g_restart = 1; }

bool parse_options(int argc, char **argv, options &o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--uio") o.uio = v;
    else if (k == "--serial") o.serial = v;
    else if (k == "--naa") o.naa = v;
    else if (k == "--state") o.model.state_dir = v;
    else if (k == "--pages") o.model.pages_dir = v;
    else if (k == "--faults") o.model.faults = v;
    else if (k == "--record") o.record = v;
    else if (k == "--ready") o.ready = v;
    else return false;
  }
  return argc % 2 == 1 && !o.uio.empty() && !o.serial.empty() && !o.naa.empty();
}

// The size of the UIO device's first mapping, from sysfs (a hex number).
std::size_t map_size(const std::string &uio) {
  const std::string name = uio.substr(uio.rfind('/') + 1);
  guard::file f(std::fopen(("/sys/class/uio/" + name + "/maps/map0/size").c_str(), "r"));
  if (f.value == nullptr) return 0;
  unsigned long long size = 0;
  if (std::fscanf(f.value, "%llx", &size) != 1) return 0;
  return static_cast<std::size_t>(size);
}

void touch(const std::string &path) {
  if (path.empty()) return;
  guard::file f(std::fopen(path.c_str(), "w"));
}

// Closes and opens the model again; false when it does not start.
bool restart_model(const options &o, tcmu::target &t) {
  g_restart = 0;
  sim::model_close(t.model);
  t.model = sim::model_open(o.model);
  if (t.model == nullptr) return false;
  touch(o.ready);
  return true;
}

// Waits for the kernel's notice of new commands and answers them; after each
// round the write tells the kernel that completions are on the ring. The
// signals are blocked but while waiting, so a restart never falls between a
// check of its flag and the wait.
int serve(int fd, const tcmu::ring &r, const options &o, tcmu::target &t, const sigset_t &waiting) {
  std::uint32_t events = 0;
  while (!g_stop) {
    if (g_restart && !restart_model(o, t)) {
      std::fprintf(stderr, "corvane-tcmu: the expander model did not start again\n");
      return 1;
    }
    if (tcmu::ring_drain(r, tcmu::command_direction, tcmu::answer_command, &t) < 0) {
      std::fprintf(stderr, "corvane-tcmu: malformed ring entry\n");
      return 1;
    }
    const std::uint32_t done = 0;
    if (write(fd, &done, sizeof done) != sizeof done) return 1;
    pollfd p{fd, POLLIN, 0};
    const int ready = ppoll(&p, 1, nullptr, &waiting);
    if (ready < 0 && errno != EINTR) return 1;
    if (ready > 0 && read(fd, &events, sizeof events) != sizeof events) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  options o;
  tcmu::target t;
  if (!parse_options(argc, argv, o) || !tcmu::parse_naa(o.naa, o.model.naa)) {
    std::fprintf(stderr, "usage: corvane-tcmu --uio DEV --serial TEXT --naa HEX16 [--state DIR]"
                         " [--pages DIR] [--faults RULES] [--record FILE] [--ready FILE]\n");
    return 2;
  }
  o.model.serial = o.serial;
  guard::fd fd(open(o.uio.c_str(), O_RDWR));
  const std::size_t size = map_size(o.uio);
  if (fd.value < 0 || size == 0) {
    std::fprintf(stderr, "corvane-tcmu: cannot open %s: %s\n", o.uio.c_str(), std::strerror(errno));
    return 1;
  }
  void *map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.value, 0);
  if (map == MAP_FAILED) {
    std::fprintf(stderr, "corvane-tcmu: cannot map %s: %s\n", o.uio.c_str(), std::strerror(errno));
    return 1;
  }
  const tcmu::ring r{static_cast<std::uint8_t *>(map), size};
  if (!tcmu::ring_valid(r)) {
    std::fprintf(stderr, "corvane-tcmu: %s holds no command ring\n", o.uio.c_str());
    return 1;
  }
  guard::file record(o.record.empty() ? nullptr : std::fopen(o.record.c_str(), "a"));
  t.record = record.value;
  t.model = sim::model_open(o.model);
  if (t.model == nullptr) {
    std::fprintf(stderr, "corvane-tcmu: the expander model did not start\n");
    return 1;
  }
  sigset_t handled, waiting;
  sigemptyset(&handled);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGHUP);
  sigprocmask(SIG_BLOCK, &handled, &waiting);
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = on_restart;
  sigaction(SIGHUP, &sa, nullptr);
  touch(o.ready);
  const int rc = serve(fd.value, r, o, t, waiting);
  sim::model_close(t.model);
  munmap(map, size);
  return rc;
}
