// Fault-injection rules: which open or request fails, and how.
//
//   rule     := kind ':' selector [ '=' value ]
//   kind     := open | ioctl | check | short | delay | host | driver | signal
//   selector := N | '*' | PAGE '/' N | PAGE '/' '*'
//
// N counts from 1: the Nth open of the node (open), or the Nth request, or the
// Nth request for page code PAGE (hex, e.g. 0x82; a receive names its page in
// the command block, a send in the first byte of its parameter list). Values:
// open, ioctl: errno (default ENOENT for open, EIO for ioctl); check: sense as
// KEY/ASC/ASCQ in hex (default 4/44/00, HARDWARE ERROR); short: bytes
// delivered (default 0); delay: milliseconds (default 1000); host: the
// transport's host_status, the request never reaching the target (default
// 0x07, DID_ERROR); driver: the driver's verdict in driver_status, likewise
// (default 0x04, DRIVER_ERROR); signal: the request is carried out, then the
// program that issued it is sent this signal before the ioctl returns
// (default 2, SIGINT). Rules are
// separated by ',' or ';'; the first rule that matches wins.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class fault_kind { open, ioctl, check, short_transfer, delay, host, driver, signal };

struct fault_rule {
  fault_kind kind = fault_kind::ioctl;
  int page = -1;           // -1: any page
  unsigned nth = 0;        // 0: every one
  std::uint32_t value = 0;
  bool has_value = false;
};

// Parses the rules; returns false with a reason on the first bad rule.
bool parse_faults(const std::string &text, std::vector<fault_rule> &rules, std::string &why);

// The first rule of kind that selects the request numbered seq overall and
// page_seq among requests for page (page -1: unknown page).
std::optional<fault_rule> match_fault(const std::vector<fault_rule> &rules, fault_kind kind,
                                      unsigned seq, int page, unsigned page_seq);

}  // namespace sim
