#include "sg/sg_exchange.h"

#include <fcntl.h>
#include <scsi/sg.h>

#include <cerrno>

#include <array>

#include "bounded/bounded.h"
#include "oplog/oplog.h"
#include "sg/sg_seam.h"

namespace {

// Closes a device descriptor through the seam when the request is over.
struct seam_fd {
  int value;
  explicit seam_fd(int v) : value(v) {}
  seam_fd(const seam_fd &) = delete;
  seam_fd &operator=(const seam_fd &) = delete;
  ~seam_fd() { g_sg_syscalls.close_fn(value); }
};

constexpr unsigned char kStatusGood = 0;
// Low three bits of driver_status: the driver's own verdict (timeout, error...);
// the sense-valid flag above them accompanies CHECK CONDITION.
constexpr unsigned short kDriverVerdictMask = 0x07;

}  // namespace

bool sg_completed_good(const sg_io_hdr_t &hdr) {
  return hdr.status == kStatusGood && hdr.host_status == 0 &&
         (hdr.driver_status & kDriverVerdictMask) == 0;
}

int sg_exchange(const sg_exchange_args &args) {
  errno = 0;
  const int opened = g_sg_syscalls.open_fn(args.dev, args.open_flags);
  if (opened <= 0) {
    const int error = opened < 0 ? errno : 0;
    // Descriptor 0 is not taken as a device node; it is given back at once.
    if (opened == 0) g_sg_syscalls.close_fn(opened);
    sg_note_exchange(args, sg_stage::open_failed, error, nullptr);
    return -1;
  }
  seam_fd fd(opened);

  std::array<unsigned char, kSenseSize> sense{};
  sg_io_hdr_t hdr;
  memset_s(&hdr, sizeof hdr, 0, sizeof hdr);
  hdr.interface_id = 'S';
  hdr.dxfer_direction = args.direction;
  hdr.cmd_len = kCdbSize;
  hdr.mx_sb_len = kSenseSize;
  hdr.dxfer_len = args.data_len;
  hdr.dxferp = args.data;
  hdr.cmdp = args.cdb.data();
  hdr.sbp = sense.data();
  hdr.timeout = kRequestTimeoutMs;

  errno = 0;
  if (g_sg_syscalls.ioctl_fn(fd.value, SG_IO, &hdr) < 0) {
    const int error = errno;
    if (args.log_ioctl_error) recorde_log("ioctl error\n", 1);
    sg_note_exchange(args, sg_stage::ioctl_failed, error, &hdr);
    return -1;
  }
  sg_note_exchange(args, sg_stage::completed, 0, &hdr);
  return sg_completed_good(hdr) ? 0 : -1;
}
