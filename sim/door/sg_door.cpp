#include "door/sg_door.h"

#include <fcntl.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace sim {

namespace {

constexpr unsigned kMaxCdb = 252;          // the driver's command block limit
constexpr int kSgVersion = 30536;          // reported by SG_GET_VERSION_NUM
constexpr unsigned char kDriverSense = 0x08;
constexpr unsigned kInfoCheck = 0x01;      // SG_INFO_CHECK
constexpr unsigned short kHostTimedOut = 0x03;  // DID_TIME_OUT
// The signal a "signal" fault asks for after the current answer.
int g_pending_signal = 0;

std::string hex(const unsigned char *p, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    s.push_back(digits[p[i] >> 4]);
    s.push_back(digits[p[i] & 0x0F]);
  }
  return s;
}

std::string field(const char *key, long long value) {
  return std::string(" ") + key + "=" + std::to_string(value);
}

std::string pointer_field(const char *key, const void *p) {
  return std::string(" ") + key + "=" + (p == nullptr ? "null" : "set");
}

// Every member of the header as the program passed it.
std::string header_fields(const sg_io_hdr_t &h) {
  std::string s = field("interface_id", h.interface_id) + field("dxfer_direction", h.dxfer_direction) +
                  field("cmd_len", h.cmd_len) + field("mx_sb_len", h.mx_sb_len) +
                  field("iovec_count", h.iovec_count) + field("dxfer_len", h.dxfer_len) +
                  pointer_field("dxferp", h.dxferp) + pointer_field("cmdp", h.cmdp) +
                  pointer_field("sbp", h.sbp) + field("timeout", h.timeout) + field("flags", h.flags) +
                  field("pack_id", h.pack_id) + pointer_field("usr_ptr", h.usr_ptr);
  s += field("status_in", h.status) + field("masked_status_in", h.masked_status) +
       field("msg_status_in", h.msg_status) + field("sb_len_wr_in", h.sb_len_wr) +
       field("host_status_in", h.host_status) + field("driver_status_in", h.driver_status) +
       field("resid_in", h.resid) + field("duration_in", h.duration) + field("info_in", h.info);
  return s;
}

// The driver's own checks, before anything reaches the target.
int driver_check(const sg_io_hdr_t &h, int open_flags) {
  if (h.interface_id != 'S') return ENOSYS;
  if (h.cmdp == nullptr || h.cmd_len < 6 || h.cmd_len > kMaxCdb) return EMSGSIZE;
  if (h.iovec_count != 0) return EINVAL;  // scatter lists are not simulated
  switch (h.dxfer_direction) {
    case SG_DXFER_NONE: case SG_DXFER_TO_DEV: case SG_DXFER_FROM_DEV: case SG_DXFER_TO_FROM_DEV: break;
    default: return EINVAL;
  }
  if (h.dxfer_len > 0 && h.dxferp == nullptr && h.dxfer_direction != SG_DXFER_NONE) return EFAULT;
  // A node opened read-only takes only commands that change nothing.
  const unsigned char op = h.cmdp[0];
  const bool read_safe = op == 0x00 || op == 0x12 || op == 0x1C || op == 0xA0;
  if ((open_flags & O_ACCMODE) == O_RDONLY && !read_safe) return EPERM;
  return 0;
}

request to_request(const sg_io_hdr_t &h) {
  request r;
  r.cdb = {h.cmdp, h.cmd_len};
  auto *data = static_cast<std::uint8_t *>(h.dxferp);
  const std::size_t len = data == nullptr ? 0 : h.dxfer_len;
  if (h.dxfer_direction == SG_DXFER_TO_DEV) r.dir = direction::to_device;
  if (h.dxfer_direction == SG_DXFER_FROM_DEV || h.dxfer_direction == SG_DXFER_TO_FROM_DEV) {
    r.dir = direction::from_device;
  }
  if (r.dir != direction::none) r.data = {data, len};
  return r;
}

void sleep_ms(unsigned ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Fills the output members from the target's answer; EFAULT when sense
// could not be delivered.
int fill_outputs(sg_io_hdr_t *h, const outcome &o) {
  const bool check = o.kind == outcome::check_condition;
  h->status = check ? kStatusCheckCondition : kStatusGood;
  h->masked_status = static_cast<unsigned char>(h->status >> 1);
  h->msg_status = 0;
  h->host_status = o.host_status;
  h->driver_status = check ? kDriverSense : o.driver_status;
  h->resid = h->dxfer_direction == SG_DXFER_FROM_DEV ? static_cast<int>(h->dxfer_len - o.data_len) : 0;
  h->duration = o.kind == outcome::delayed ? o.delay_ms : 0;
  h->sb_len_wr = 0;
  if (check && h->mx_sb_len > 0) {
    if (h->sbp == nullptr) return EFAULT;
    const std::size_t n = std::min<std::size_t>(h->mx_sb_len, o.sense.size());
    for (std::size_t i = 0; i < n; ++i) h->sbp[i] = o.sense[i];
    h->sb_len_wr = static_cast<unsigned char>(n);
  }
  h->info = (check || o.host_status != 0 || o.driver_status != 0) ? kInfoCheck : 0;
  return 0;
}

std::string result_fields(const sg_io_hdr_t &h, const outcome &o, int error) {
  std::string s;
  if (error != 0) return " result=errno:" + std::to_string(error);
  const char *kind = o.kind == outcome::check_condition ? "check" : o.host_status != 0 ? "host_error" : "good";
  s = std::string(" result=") + kind + field("status", h.status) + field("host_status", h.host_status) +
      field("delivered", static_cast<long long>(o.data_len)) + field("resid", h.resid);
  if (o.kind == outcome::check_condition) s += " sense=" + hex(o.sense.data(), o.sense.size());
  return s;
}

}  // namespace

int sg_door_execute(model *m, int fd, int open_flags, sg_io_hdr_t *hdr, std::size_t data_cap,
                    std::string &line) {
  line = "sgio" + field("fd", fd) + header_fields(*hdr);
  const int refused = driver_check(*hdr, open_flags);
  if (hdr->cmdp != nullptr && hdr->cmd_len > 0 && hdr->cmd_len <= kMaxCdb) {
    line += " cdb=" + hex(hdr->cmdp, hdr->cmd_len);
  }
  if (hdr->dxfer_direction == SG_DXFER_TO_DEV && hdr->dxferp != nullptr) {
    line += " data_out=" + hex(static_cast<const unsigned char *>(hdr->dxferp),
                               std::min<std::size_t>(hdr->dxfer_len, data_cap));
  }
  if (refused != 0) {
    line += result_fields(*hdr, outcome{}, refused);
    return refused;
  }
  outcome o = model_execute(m, to_request(*hdr));
  if (o.kind == outcome::ioctl_error) {
    const int error = o.error != 0 ? o.error : EIO;
    line += result_fields(*hdr, o, error);
    return error;
  }
  if (o.kind == outcome::delayed) {
    // An answer later than the request's timeout: the driver reports the
    // transport as timed out once the target answers. This door does not sit
    // the wait out; nothing the program does depends on how long it took.
    if (hdr->timeout != 0 && o.delay_ms >= hdr->timeout) {
      o.host_status = kHostTimedOut;
    } else {
      sleep_ms(o.delay_ms);
    }
  }
  // The driver hands back the whole buffer: bytes the target did not send
  // arrive as zeros. A CHECK CONDITION leaves the buffer untouched.
  if (o.kind != outcome::check_condition && hdr->dxfer_direction == SG_DXFER_FROM_DEV &&
      hdr->dxferp != nullptr && o.data_len < hdr->dxfer_len) {
    auto *data = static_cast<std::uint8_t *>(hdr->dxferp);
    for (std::size_t i = o.data_len; i < hdr->dxfer_len; ++i) data[i] = 0;
  }
  const int error = fill_outputs(hdr, o);
  line += result_fields(*hdr, o, error);
  g_pending_signal = o.signal;
  if (o.signal != 0) line += field("signal", o.signal);
  return error;
}

int sg_door_take_signal() {
  const int s = g_pending_signal;
  g_pending_signal = 0;
  return s;
}

int sg_door_other_ioctl(unsigned long request, void *arg) {
  if (request == SG_GET_VERSION_NUM && arg != nullptr) {
    *static_cast<int *>(arg) = kSgVersion;
    return 0;
  }
  return ENOTTY;
}

std::string transcript_open(const char *path, int flags, int fd, int error) {
  char text[64];
  std::snprintf(text, sizeof text, " flags=0x%x", static_cast<unsigned>(flags));
  return std::string("open path=") + (path != nullptr ? path : "") + text + field("fd", fd) + field("errno", error);
}

std::string transcript_close(int fd) { return "close" + field("fd", fd); }

std::string transcript_ioctl(int fd, unsigned long request, int error) {
  char text[64];
  std::snprintf(text, sizeof text, " request=0x%lx", request);
  return "ioctl" + field("fd", fd) + text + field("errno", error);
}

std::string transcript_leak(int fd, const std::string &path) { return "leak" + field("fd", fd) + " path=" + path; }

}  // namespace sim
