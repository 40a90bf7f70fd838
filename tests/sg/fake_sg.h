// A scripted stand-in for the sg driver behind g_sg_syscalls: records every
// open, request and close, and answers each request from a script.
#pragma once

#include <scsi/sg.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "sg/sg_seam.h"

namespace fakesg {

// How the fake answers one request (in order; requests past the script are GOOD).
struct answer {
  int open_result = 7;           // descriptor, or -1 for a failed open
  int ioctl_result = 0;          // -1 for a failed ioctl
  unsigned char status = 0;      // SCSI status
  unsigned short host_status = 0;    // transport outcome (0x03 timed out, 0x07 error)
  unsigned short driver_status = 0;  // driver outcome (0x06 timed out, 0x08 sense valid)
  std::vector<std::uint8_t> page;  // delivered to a from-device buffer
};

inline answer open_fails() { answer a; a.open_result = -1; return a; }
inline answer open_yields(int fd) { answer a; a.open_result = fd; return a; }
inline answer ioctl_fails() { answer a; a.ioctl_result = -1; return a; }
inline answer status(unsigned char s) { answer a; a.status = s; return a; }
inline answer page(std::vector<std::uint8_t> p) { answer a; a.page = std::move(p); return a; }
inline answer host(unsigned short h) { answer a; a.host_status = h; return a; }
inline answer driver(unsigned short d) { answer a; a.driver_status = d; return a; }

struct request_seen {
  std::string path;
  int open_flags = 0;
  bool issued = false;            // an ioctl followed the open
  unsigned long ioctl_code = 0;
  sg_io_hdr_t hdr{};              // header as the program passed it
  std::vector<std::uint8_t> cdb;
  std::vector<std::uint8_t> sent;  // to-device data
  int closes = 0;                  // close calls for its descriptor
};

struct state {
  std::vector<answer> script;
  std::vector<request_seen> seen;
  int open_fds = 0;
  std::vector<int> closed;
};

inline state g_state;

inline const answer &current_answer() {
  static const answer good{};
  const std::size_t i = g_state.seen.size() - 1;
  return i < g_state.script.size() ? g_state.script[i] : good;
}

inline int fake_open(const char *path, int flags) {
  g_state.seen.push_back({});
  g_state.seen.back().path = path;
  g_state.seen.back().open_flags = flags;
  const int fd = current_answer().open_result;
  if (fd < 0) {
    errno = ENOENT;
    return -1;
  }
  ++g_state.open_fds;
  return fd;
}

inline int fake_ioctl(int, unsigned long code, void *arg) {
  request_seen &r = g_state.seen.back();
  const answer &a = current_answer();
  auto *hdr = static_cast<sg_io_hdr_t *>(arg);
  r.issued = true;
  r.ioctl_code = code;
  r.hdr = *hdr;
  r.cdb.assign(hdr->cmdp, hdr->cmdp + hdr->cmd_len);
  if (hdr->dxfer_direction == SG_DXFER_TO_DEV) {
    const auto *p = static_cast<const std::uint8_t *>(hdr->dxferp);
    r.sent.assign(p, p + hdr->dxfer_len);
  }
  if (a.ioctl_result < 0) {
    errno = EIO;
    return -1;
  }
  if (hdr->dxfer_direction == SG_DXFER_FROM_DEV) {
    auto *p = static_cast<std::uint8_t *>(hdr->dxferp);
    for (std::size_t i = 0; i < a.page.size() && i < hdr->dxfer_len; ++i) p[i] = a.page[i];
  }
  hdr->status = a.status;
  hdr->host_status = a.host_status;
  hdr->driver_status = a.driver_status;
  return 0;
}

inline int fake_close(int fd) {
  g_state.closed.push_back(fd);
  if (!g_state.seen.empty()) ++g_state.seen.back().closes;
  --g_state.open_fds;
  return 0;
}

// Installs the fake for one scope, with a fresh script.
struct scope {
  sg_seam_guard seam{{fake_open, fake_ioctl, fake_close}};
  explicit scope(std::vector<answer> script = {}) {
    g_state = {};
    g_state.script = std::move(script);
  }
};

}  // namespace fakesg
