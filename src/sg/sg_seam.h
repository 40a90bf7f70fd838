// The three system calls through which the pass-through reaches the sg driver.
// They default to the C library's open, ioctl and close; in-process tests swap
// them with sg_seam_guard to stand a fake device behind the real code paths.
#pragma once

struct sg_syscalls {
  int (*open_fn)(const char *path, int flags);
  int (*ioctl_fn)(int fd, unsigned long request, void *arg);
  int (*close_fn)(int fd);
};

// The calls in use; never null.
extern sg_syscalls g_sg_syscalls;

// Installs replacement calls for one scope and restores the previous ones.
struct sg_seam_guard {
  sg_syscalls saved;
  explicit sg_seam_guard(const sg_syscalls &replacement) : saved(g_sg_syscalls) {
    g_sg_syscalls = replacement;
  }
  sg_seam_guard(const sg_seam_guard &) = delete;
  sg_seam_guard &operator=(const sg_seam_guard &) = delete;
  ~sg_seam_guard() { g_sg_syscalls = saved; }
};
