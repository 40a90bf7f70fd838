#include "support/sim_device.h"

#include <scsi/sg.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "door/sg_door.h"

namespace testsupport {

namespace {
sim_device *g_active = nullptr;  // the device the seam points at
}  // namespace

struct sim_device_calls {
  static int open(const char *path, int flags) {
    sim_device &d = *g_active;
    int error = std::strcmp(path, sim_device::kNode) == 0 ? sim::model_node_open(d.model_) : ENOENT;
    const int fd = error == 0 ? d.next_fd_++ : -1;
    if (fd >= 0) d.open_[fd] = flags;
    d.transcript_ += sim::transcript_open(path, flags, fd, error) + "\n";
    if (fd < 0) errno = error;
    return fd;
  }

  static int ioctl(int fd, unsigned long request, void *arg) {
    sim_device &d = *g_active;
    const auto it = d.open_.find(fd);
    if (it == d.open_.end()) {
      errno = EBADF;
      return -1;
    }
    std::string line;
    const int error = request == SG_IO ? sim::sg_door_execute(d.model_, fd, it->second,
                                                              static_cast<sg_io_hdr_t *>(arg),
                                                              static_cast<std::size_t>(-1), line)
                                       : sim::sg_door_other_ioctl(request, arg);
    if (request != SG_IO) line = sim::transcript_ioctl(fd, request, error);
    d.transcript_ += line + "\n";
    if (error != 0) {
      errno = error;
      return -1;
    }
    return 0;
  }

  static int close(int fd) {
    sim_device &d = *g_active;
    d.transcript_ += sim::transcript_close(fd) + "\n";
    if (d.open_.erase(fd) == 0) {
      errno = EBADF;
      return -1;
    }
    return 0;
  }
};

sim_device::sim_device(const sim_device_options &options) {
  char tmpl[] = "/tmp/cvdevXXXXXX";
  const char *made = ::mkdtemp(tmpl);
  dir_ = made != nullptr ? made : "/tmp/cvdev-fallback";
  sim::config cfg{dir_ + "/state", "", options.faults};
  if (!options.pages.empty() || !options.nv_chunks.empty()) {
    cfg.pages_dir = dir_ + "/pages";
    std::filesystem::create_directories(cfg.pages_dir);
    write_pages_dir(cfg.pages_dir, options.pages, options.nv_chunks);
  }
  model_ = sim::model_open(cfg);
  g_active = this;
  seam_ = std::make_unique<sg_seam_guard>(
      sg_syscalls{sim_device_calls::open, sim_device_calls::ioctl, sim_device_calls::close});
}

sim_device::~sim_device() {
  seam_.reset();
  g_active = nullptr;
  sim::model_close(model_);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

int sim_device::open_descriptors() const { return static_cast<int>(open_.size()); }

}  // namespace testsupport
