#include "cli/device_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "bounded/bounded.h"
#include "common/guards.h"

char g_lock_dir[64] = "/run/corvane";

namespace {

constexpr mode_t kLockDirMode = 0700;
constexpr mode_t kLockFileMode = 0600;
constexpr std::size_t kIdentityMax = 96;  // characters of the wwid kept in the name

// Waits for the lock, going on after interruptions; 0 once held.
int wait_for_lock(int fd) {
  int r = 0;
  do {
    r = ::flock(fd, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  return r;
}

int go_on_unlocked(const char *dev, int error) {
  std::fprintf(stderr, "cannot lock %s against another corvane (%s), going on without the lock\n", dev,
               std::strerror(error));
  return -1;
}

// The SCSI device's wwid behind a character node ("naa.5001405c...",
// "t10.VENDOR..."), reduced to characters a file name may hold; empty when
// the kernel has none.
void read_identity(const struct stat &st, std::array<char, kIdentityMax + 1> &identity) {
  identity.fill('\0');
  if (!S_ISCHR(st.st_mode)) return;
  char sys[96] = {};
  if (sprintf_s(sys, sizeof sys, "/sys/dev/char/%u:%u/device/wwid", major(st.st_rdev), minor(st.st_rdev)) <= 0) {
    return;
  }
  const guard::fd fd(::open(sys, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.value < 0) return;
  std::array<char, 256> raw{};
  const ssize_t n = ::read(fd.value, raw.data(), raw.size() - 1);
  if (n <= 0) return;
  std::size_t kept = 0;
  bool blank = false;
  for (ssize_t i = 0; i < n && kept < kIdentityMax; ++i) {
    const char c = raw[static_cast<std::size_t>(i)];
    if (c == '\n' || c == '\0') break;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-';
    if (!plain) {
      // Runs of blanks and other characters become one underscore.
      if (!blank && kept > 0) identity[kept++] = '_';
      blank = true;
      continue;
    }
    blank = false;
    identity[kept++] = c;
  }
  while (kept > 0 && identity[kept - 1] == '_') identity[--kept] = '\0';
}

// Opens (creating) the lock file in the lock directory, making the
// directory when it is missing. -1 with errno set when it cannot.
int open_lock_file(const char *path) {
  const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = ::open(path, flags, kLockFileMode);
  if (fd < 0 && errno == ENOENT) {
    if (::mkdir(g_lock_dir, kLockDirMode) != 0 && errno != EEXIST) return -1;
    fd = ::open(path, flags, kLockFileMode);
  }
  if (fd < 0) return -1;
  // Only a plain file of this user's own is a lock of ours.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

// Writes this process's pid and the time into the held lock file.
void note_holder(int fd) {
  char text[64] = {};
  const int n = sprintf_s(text, sizeof text, "%d %lld\n", static_cast<int>(::getpid()),
                          static_cast<long long>(std::time(nullptr)));
  // Written over the old text, then cut to length: a reader sees a whole
  // line at every moment, never an empty file between two holders.
  if (n <= 0 || ::pwrite(fd, text, static_cast<std::size_t>(n), 0) != n) return;
  (void)!::ftruncate(fd, n);
}

// The holder's pid and since when, from the lock file; false when it has not
// written them (yet).
bool read_holder(int fd, int &pid, long long &since) {
  std::array<char, 64> text{};
  const ssize_t n = ::pread(fd, text.data(), text.size() - 1, 0);
  return n > 0 && std::sscanf(text.data(), "%d %lld", &pid, &since) == 2 && pid > 0;
}

// "waiting for another corvane on DEV", with the holder's pid and since
// when, as far as the lock file tells them.
// A holder that has just taken the lock writes its line a moment later: the
// file is read again for a tenth of a second before the line goes without.
void say_waiting(int fd, const char *dev) {
  constexpr int kReads = 20;
  constexpr timespec kPause = {0, 5 * 1000 * 1000};
  int pid = 0;
  long long since = 0;
  bool known = read_holder(fd, pid, since);
  for (int i = 1; i < kReads && !known; ++i) {
    ::nanosleep(&kPause, nullptr);
    known = read_holder(fd, pid, since);
  }
  if (known) {
    const std::time_t t = static_cast<std::time_t>(since);
    std::tm local {};
    char when[32] = {};
    if (localtime_r(&t, &local) != nullptr && std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local) > 0) {
      std::fprintf(stderr, "waiting for another corvane on %s (pid %d, holding it since %s)\n", dev, pid, when);
      return;
    }
  }
  std::fprintf(stderr, "waiting for another corvane on %s\n", dev);
}

}  // namespace

bool device_lock_path(const char *dev, char *path, std::size_t size) {
  struct stat st {};
  if (dev == nullptr || ::stat(dev, &st) != 0) return false;
  std::array<char, kIdentityMax + 1> identity{};
  read_identity(st, identity);
  if (identity[0] != '\0') {
    return sprintf_s(path, size, "%s/corvane-wwid-%s.lock", g_lock_dir, identity.data()) > 0;
  }
  const char kind = S_ISBLK(st.st_mode) ? 'b' : 'c';
  return sprintf_s(path, size, "%s/corvane-%c%u:%u.lock", g_lock_dir, kind, major(st.st_rdev),
                   minor(st.st_rdev)) > 0;
}

int device_lock_take(const char *dev) {
  char path[256] = {};
  if (!device_lock_path(dev, path, sizeof path)) return -1;
  const int fd = open_lock_file(path);
  if (fd < 0) return go_on_unlocked(dev, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    note_holder(fd);
    return fd;
  }
  int error = errno;
  if (error == EWOULDBLOCK) {
    say_waiting(fd, dev);
    if (wait_for_lock(fd) == 0) {
      note_holder(fd);
      return fd;
    }
    error = errno;
  }
  ::close(fd);
  return go_on_unlocked(dev, error);
}
