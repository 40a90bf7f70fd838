#include "sg/sg_seam.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
int libc_open(const char *path, int flags) { return ::open(path, flags); }
int libc_ioctl(int fd, unsigned long request, void *arg) { return ::ioctl(fd, request, arg); }
int libc_close(int fd) { return ::close(fd); }
}  // namespace

sg_syscalls g_sg_syscalls = {libc_open, libc_ioctl, libc_close};
