// Interposed open, ioctl and close: the simulated nodes /dev/sgsim<N> reach
// the model through the sg door; every other path goes to the C library.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "door/sg_door.h"
#include "door/sim_env.h"
#include "model/fleet.h"
#include "model/model.h"
#include "model/state.h"
#include "preload/real_calls.h"

namespace simpre {
namespace {

struct node_fd {
  bool used;
  int fd;
  int flags;
  char path[32];
  sim::model *model;  // the expander the node reaches
};

constexpr std::size_t kMaxNodeFds = 256;
constexpr int kBaselineFds = 4096;

std::array<node_fd, kMaxNodeFds> g_node_fds;   // descriptors of simulated nodes now open
sim::fleet g_fleet;                            // read at the first node lookup
bool g_fleet_read;
bool g_fleet_failed;
std::array<sim::model *, sim::kMaxExpanders> g_models;  // opened at the first open of a node reaching each
std::array<bool, sim::kMaxExpanders> g_model_failed;
std::array<bool, kBaselineFds> g_baseline;     // descriptors open when the program started

const char *env(const char *name) {
  const char *v = std::getenv(name);
  return v != nullptr ? v : "";
}

int g_transcript_fd = -1;                      // kept open for the whole run

void transcript(const std::string &line) {
  if (g_transcript_fd < 0) {
    const char *path = env(sim::env::kTranscript);
    if (path[0] == '\0') return;
    g_transcript_fd = real_open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (g_transcript_fd < 0) return;
  }
  write_line(g_transcript_fd, line);
}

// The layout of expanders and nodes the launcher asked for; on a malformed
// layout (set by hand) no node exists and the reason is said once.
const sim::fleet *the_fleet() {
  if (!g_fleet_read) {
    g_fleet_read = true;
    std::string why;
    if (!sim::parse_fleet(env(sim::env::kExpanders), env(sim::env::kNodes), env(sim::env::kPaths),
                          env(sim::env::kQuirks), g_fleet, why)) {
      g_fleet_failed = true;
      std::fprintf(stderr, "expander-sim: %s\n", why.c_str());
    }
  }
  return g_fleet_failed ? nullptr : &g_fleet;
}

unsigned node_number(const char *path) {
  return static_cast<unsigned>(std::atol(path + std::strlen(sim::env::kNodePrefix)));
}

// True for /dev/sgsim<N> with N below the configured node count.
bool is_sim_node(const char *path) {
  if (path == nullptr) return false;
  const std::size_t prefix = std::strlen(sim::env::kNodePrefix);
  if (std::strncmp(path, sim::env::kNodePrefix, prefix) != 0) return false;
  const char *digits = path + prefix;
  if (digits[0] == '\0' || std::strlen(digits) > 3) return false;
  for (const char *p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  const sim::fleet *f = the_fleet();
  return f != nullptr && std::atol(digits) < static_cast<long>(f->nodes);
}

std::string state_dir() {
  return env(sim::env::kState)[0] != '\0' ? env(sim::env::kState) : sim::default_state_dir();
}

// A path under the host's lock directory becomes the same name under the
// state's lock directory (made when missing); any other path stays.
const char *lock_path(const char *path, std::string &redirected) {
  const std::size_t prefix = std::strlen(sim::env::kHostLockDir);
  if (path == nullptr || std::strncmp(path, sim::env::kHostLockDir, prefix) != 0) return path;
  const std::string dir = state_dir() + "/" + sim::env::kStateLockDir;
  (void)sim::make_state_dir(dir);
  redirected = dir + "/" + (path + prefix);
  return redirected.c_str();
}

static_assert(sizeof(struct stat) == sizeof(struct stat64), "one layout on 64-bit targets");

// A simulated node is a character device numbered kNodeMajor:N.
int node_stat(const char *path, struct stat *st) {
  if (st == nullptr) {
    errno = EFAULT;
    return -1;
  }
  *st = {};
  st->st_mode = S_IFCHR | 0660;
  st->st_nlink = 1;
  st->st_rdev = makedev(sim::env::kNodeMajor,
                        static_cast<unsigned>(std::atol(path + std::strlen(sim::env::kNodePrefix))));
  return 0;
}

// The model of the expander that node path reaches.
sim::model *model_of(const char *path) {
  const sim::fleet *f = the_fleet();
  const unsigned node = node_number(path);
  if (f == nullptr || node >= f->node_expander.size()) return nullptr;
  const unsigned index = f->node_expander[node];
  if (g_models[index] != nullptr || g_model_failed[index]) return g_models[index];
  const sim::config cfg = sim::expander_config(*f, index, state_dir(), env(sim::env::kPages), env(sim::env::kFaults));
  g_models[index] = sim::model_open(cfg);
  if (g_models[index] == nullptr) {
    g_model_failed[index] = true;
    std::fprintf(stderr, "expander-sim: cannot use state directory %s or fault rules\n", cfg.state_dir.c_str());
  }
  return g_models[index];
}

node_fd *find_node(int fd) {
  for (node_fd &n : g_node_fds) {
    if (n.used && n.fd == fd) return &n;
  }
  return nullptr;
}

int open_node(const char *path, int flags) {
  sim::model *m = model_of(path);
  int error = m == nullptr ? EIO : sim::model_node_open(m);
  int fd = -1;
  if (error == 0) {
    fd = real_open("/dev/null", O_RDWR | (flags & O_CLOEXEC));
    if (fd < 0) error = errno;
  }
  node_fd *slot = nullptr;
  for (node_fd &n : g_node_fds) {
    if (!n.used) slot = &n;
  }
  if (fd >= 0 && slot == nullptr) {
    real_close(fd);
    fd = -1;
    error = EMFILE;
  }
  if (fd >= 0) {
    *slot = node_fd{true, fd, flags, {}, m};
    std::snprintf(slot->path, sizeof slot->path, "%s", path);
  }
  transcript(sim::transcript_open(path, flags, fd, error));
  if (fd < 0) errno = error;
  return fd;
}

// A duplicate of a node descriptor refers to the same node.
int note_duplicate(int from, int to) {
  if (to < 0) return to;
  node_fd *src = find_node(from);
  if (src == nullptr) return to;
  const node_fd copy = *src;
  if (node_fd *old = find_node(to)) old->used = false;
  for (node_fd &n : g_node_fds) {
    if (!n.used) {
      n = copy;
      n.fd = to;
      break;
    }
  }
  transcript("dup" + std::string(" fd=") + std::to_string(from) + " to=" + std::to_string(to));
  return to;
}

// dup2 and dup3 silently close a node descriptor they reuse.
void forget_node(int fd) {
  if (node_fd *n = find_node(fd)) {
    n->used = false;
    transcript(sim::transcript_close(fd));
  }
}

long data_cap() {
  const char *v = env(sim::env::kTranscriptData);
  return v[0] != '\0' ? std::atol(v) : -1;
}

int node_ioctl(node_fd &n, unsigned long request, void *arg) {
  int error = 0;
  std::string line;
  if (request == SG_IO && arg != nullptr && n.model != nullptr) {
    const long cap = data_cap();
    error = sim::sg_door_execute(n.model, n.fd, n.flags, static_cast<sg_io_hdr_t *>(arg),
                                 cap < 0 ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(cap), line);
  } else {
    error = request == SG_IO ? EFAULT : sim::sg_door_other_ioctl(request, arg);
    line = sim::transcript_ioctl(n.fd, request, error);
  }
  transcript(line);
  // A signal that arrives while the request is in flight: the answer is in
  // place when the program's handler runs.
  if (const int signo = sim::sg_door_take_signal(); signo != 0) raise(signo);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return 0;
}

// The mode argument that open and openat carry only when they may create.
unsigned open_mode(int flags, va_list ap) {
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) return va_arg(ap, unsigned);
  return 0;
}

void report_leak(int fd, const std::string &path) {
  transcript(sim::transcript_leak(fd, path));
  std::fprintf(stderr, "expander-sim: descriptor %d (%s) left open at exit\n", fd, path.c_str());
}

__attribute__((constructor)) void note_baseline() {
  DIR *d = opendir("/proc/self/fd");
  if (d == nullptr) return;
  while (const dirent *e = readdir(d)) {
    const int fd = std::atoi(e->d_name);
    if (e->d_name[0] != '.' && fd >= 0 && fd < kBaselineFds) g_baseline[static_cast<std::size_t>(fd)] = true;
  }
  closedir(d);
}

// Reports the node descriptors and any other descriptor the program opened
// and never closed.
__attribute__((destructor)) void report_leaks() {
  for (node_fd &n : g_node_fds) {
    if (n.used) report_leak(n.fd, n.path);
  }
  DIR *d = opendir("/proc/self/fd");
  if (d != nullptr) {
    const int own = dirfd(d);
    while (const dirent *e = readdir(d)) {
      const int fd = std::atoi(e->d_name);
      if (e->d_name[0] == '.' || fd == own || fd == g_transcript_fd || fd < 0 || fd >= kBaselineFds) continue;
      if (g_baseline[static_cast<std::size_t>(fd)] || find_node(fd) != nullptr) continue;
      char target[256] = {};
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      report_leak(fd, n > 0 ? target : "?");
    }
    closedir(d);
  }
  for (sim::model *&m : g_models) {
    sim::model_close(m);
    m = nullptr;
  }
  if (g_transcript_fd >= 0) real_close(g_transcript_fd);
  g_transcript_fd = -1;
}

}  // namespace
}  // namespace simpre

using namespace simpre;

// The interposed C library functions stay visible; everything else is hidden.
#pragma GCC visibility push(default)
extern "C" {

int open(const char *path, int flags, ...) {
  if (is_sim_node(path)) return open_node(path, flags);
  va_list ap;
  va_start(ap, flags);
  const unsigned mode = open_mode(flags, ap);
  va_end(ap);
  static auto fn = next_symbol<open_t>("open");
  std::string redirected;
  return fn(lock_path(path, redirected), flags, mode);
}

int open64(const char *path, int flags, ...) {
  if (is_sim_node(path)) return open_node(path, flags);
  va_list ap;
  va_start(ap, flags);
  const unsigned mode = open_mode(flags, ap);
  va_end(ap);
  static auto fn = next_symbol<open_t>("open64");
  std::string redirected;
  return fn(lock_path(path, redirected), flags, mode);
}

int __open_2(const char *path, int flags) {
  if (is_sim_node(path)) return open_node(path, flags);
  static auto fn = next_symbol<int (*)(const char *, int)>("__open_2");
  std::string redirected;
  return fn(lock_path(path, redirected), flags);
}

int __open64_2(const char *path, int flags) {
  if (is_sim_node(path)) return open_node(path, flags);
  static auto fn = next_symbol<int (*)(const char *, int)>("__open64_2");
  std::string redirected;
  return fn(lock_path(path, redirected), flags);
}

int openat(int dirfd, const char *path, int flags, ...) {
  if (is_sim_node(path)) return open_node(path, flags);
  va_list ap;
  va_start(ap, flags);
  const unsigned mode = open_mode(flags, ap);
  va_end(ap);
  static auto fn = next_symbol<int (*)(int, const char *, int, ...)>("openat");
  std::string redirected;
  return fn(dirfd, lock_path(path, redirected), flags, mode);
}

int openat64(int dirfd, const char *path, int flags, ...) {
  if (is_sim_node(path)) return open_node(path, flags);
  va_list ap;
  va_start(ap, flags);
  const unsigned mode = open_mode(flags, ap);
  va_end(ap);
  static auto fn = next_symbol<int (*)(int, const char *, int, ...)>("openat64");
  std::string redirected;
  return fn(dirfd, lock_path(path, redirected), flags, mode);
}

int stat(const char *path, struct stat *st) {
  if (is_sim_node(path)) return node_stat(path, st);
  static auto fn = next_symbol<int (*)(const char *, struct stat *)>("stat");
  return fn(path, st);
}

int stat64(const char *path, struct stat64 *st) {
  if (is_sim_node(path)) return node_stat(path, reinterpret_cast<struct stat *>(st));
  static auto fn = next_symbol<int (*)(const char *, struct stat64 *)>("stat64");
  return fn(path, st);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  if (node_fd *n = find_node(fd)) return node_ioctl(*n, request, arg);
  static ioctl_t fn = next_symbol<ioctl_t>("ioctl");
  return fn(fd, request, arg);
}

int dup(int fd) {
  static auto fn = next_symbol<int (*)(int)>("dup");
  return note_duplicate(fd, fn(fd));
}

int dup2(int fd, int to) {
  static auto fn = next_symbol<int (*)(int, int)>("dup2");
  if (fd == to) return fn(fd, to);
  const int r = fn(fd, to);
  if (r >= 0) forget_node(to);
  return note_duplicate(fd, r);
}

int dup3(int fd, int to, int flags) {
  static auto fn = next_symbol<int (*)(int, int, int)>("dup3");
  const int r = fn(fd, to, flags);
  if (r >= 0) forget_node(to);
  return note_duplicate(fd, r);
}

// Every fcntl command takes at most one argument of register size.
int fcntl(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  static auto fn = next_symbol<int (*)(int, int, ...)>("fcntl");
  const int r = fn(fd, cmd, arg);
  return cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC ? note_duplicate(fd, r) : r;
}

int fcntl64(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  static auto fn = next_symbol<int (*)(int, int, ...)>("fcntl64");
  if (fn == nullptr) fn = next_symbol<int (*)(int, int, ...)>("fcntl");
  const int r = fn(fd, cmd, arg);
  return cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC ? note_duplicate(fd, r) : r;
}

int close(int fd) {
  if (node_fd *n = find_node(fd)) {
    n->used = false;
    transcript(sim::transcript_close(fd));
  }
  return real_close(fd);
}

}  // extern "C"
#pragma GCC visibility pop
