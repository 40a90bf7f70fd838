// Why an exchange with the device failed, in words.
//
// Every request through sg_exchange leaves a record of its outcome: whether
// the node opened, the ioctl's errno, the SCSI status with its sense data, the
// host and driver status and the residual count. A failed exchange prints its
// reason as one line on g_sg_reason_stream as it
// happens (corvane points it at standard error; other programs choose);
// callers that want the text for themselves (a capture manifest, for
// instance) ask sg_reason right after the request.
//
// The text always starts with the device path and names the command:
//   /dev/sg3: cannot open: No such file or directory
//   /dev/sg3: Receive diagnostic results page 0x82: SG_IO failed: Input/output error
//   /dev/sg3: Send diagnostic page 0x04: status Check Condition, Illegal Request,
//     Additional sense: Invalid field in parameter list (sense 5/26/00)
//   /dev/sg3: Receive diagnostic results page 0x02: timed out after 60000 ms
//     (Host_status=0x03 [DID_TIME_OUT])
//   /dev/sg3: Receive diagnostic results page 0x80: 100 of 2048 bytes delivered
// (one line each; wrapped here). Status, sense and host and driver status are
// put into words by the sg3 utilities' library.
#pragma once

#include <cstddef>
#include <cstdio>

// Longest reason text, terminating NUL included.
inline constexpr std::size_t kReasonSize = 512;

// Where a failed exchange prints its reason (one line each, a line identical
// to the one printed just before it left out); nullptr, the default, prints
// nothing.
extern std::FILE *g_sg_reason_stream;

// Writes the reason of the last exchange into text (size bytes, at most
// kReasonSize used, no line end): why it failed, or, for a receive that
// succeeded, how many bytes it delivered (a caller that found the page
// unusable says so with it). Returns false, with text empty, when there is
// nothing to tell: no exchange yet, or a send that succeeded.
bool sg_reason(char *text, std::size_t size);

// Bytes the last exchange from the device delivered: the transfer length less
// the residual count the driver reported (0 before any such exchange).
std::size_t sg_last_delivered();

// True when the last exchange failed (the node did not open, the ioctl
// failed, or the command did not complete with status GOOD).
bool sg_last_failed();

// Prints the reason of the last exchange on g_sg_reason_stream, whatever its
// outcome (for a caller that judged a delivered page unusable, or that held
// the reason back).
void sg_reason_print();

// Holds the printing of reasons back for one scope (a caller that has a line
// of its own to end first prints the reason itself with sg_reason_print).
struct sg_reason_hold {
  std::FILE *saved;
  sg_reason_hold() : saved(g_sg_reason_stream) { g_sg_reason_stream = nullptr; }
  sg_reason_hold(const sg_reason_hold &) = delete;
  sg_reason_hold &operator=(const sg_reason_hold &) = delete;
  ~sg_reason_hold() { g_sg_reason_stream = saved; }
};
