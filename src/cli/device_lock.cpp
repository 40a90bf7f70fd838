#include "cli/device_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bounded/bounded.h"

namespace {

// The host's directory for lock files of devices.
constexpr char kLockDir[] = "/run/lock";

// Waits for the lock, going on after interruptions; 0 once held.
int wait_for_lock(int fd) {
  int r = 0;
  do {
    r = ::flock(fd, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  return r;
}

int go_on_unlocked(const char *dev, int error) {
  std::fprintf(stderr, "cannot lock %s against another corvane (%s), going on without the lock\n",
               dev, std::strerror(error));
  return -1;
}

}  // namespace

bool device_lock_path(const char *dev, char *path, unsigned long size) {
  struct stat st {};
  if (dev == nullptr || ::stat(dev, &st) != 0) return false;
  const char kind = S_ISBLK(st.st_mode) ? 'b' : 'c';
  return sprintf_s(path, size, "%s/corvane-%c%u:%u.lock", kLockDir, kind, major(st.st_rdev),
                   minor(st.st_rdev)) > 0;
}

int device_lock_take(const char *dev) {
  char path[128] = {};
  if (!device_lock_path(dev, path, sizeof path)) return -1;
  // No symbolic link is followed in the shared directory; a lock file made
  // by another user may still be locked through a read-only descriptor.
  int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return go_on_unlocked(dev, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
  int error = errno;
  if (error == EWOULDBLOCK) {
    std::fprintf(stderr, "waiting for another corvane on %s\n", dev);
    if (wait_for_lock(fd) == 0) return fd;
    error = errno;
  }
  ::close(fd);
  return go_on_unlocked(dev, error);
}
