// The one place that talks SG_IO: open the node, issue one request, close it.
// sg_query_cmd and sg_send_cmd differ only in the command block, the open
// mode, the direction and whether a failed ioctl is logged.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <span>

inline constexpr int kCdbSize = 6;
inline constexpr unsigned kSenseSize = 64;
inline constexpr unsigned kRequestTimeoutMs = 60000;

struct sg_exchange_args {
  const char *dev;                         // device node path
  int open_flags;                          // O_RDONLY to read a page, O_RDWR to write one
  std::span<std::uint8_t, kCdbSize> cdb;   // command block, already filled
  int direction;                           // SG_DXFER_FROM_DEV or SG_DXFER_TO_DEV
  void *data;                              // transfer buffer
  unsigned data_len;                       // transfer length in bytes
  bool log_ioctl_error;                    // log "ioctl error\n" when the ioctl fails
};

// Returns 0 when the node opened, the ioctl succeeded, the SCSI status is GOOD
// and neither the transport (host status) nor the driver reports that it gave
// up on the command (a timed-out or aborted request can still carry GOOD);
// -1 otherwise. Sense data and the residual count are not judged: callers
// judge a page by its content. The node is closed on every path after a good
// open.
int sg_exchange(const sg_exchange_args &args);

// True when the request completed with status GOOD and neither the transport
// nor the driver gave up on it.
bool sg_completed_good(const sg_io_hdr_t &hdr);

// What an exchange came to, for sg_reason (sg_reason.h): stage tells how far
// it got; error is the errno of a failed open or ioctl; hdr is the request as
// the driver handed it back (null before the ioctl was issued).
enum class sg_stage { open_failed, ioctl_failed, completed };
void sg_note_exchange(const sg_exchange_args &args, sg_stage stage, int error,
                      const sg_io_hdr_t *hdr);
