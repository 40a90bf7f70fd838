// The simulated expander's model: pages, persistent state and fault injection.
// One model answers both front doors (the preloaded library that stands in for
// the sg driver, and the user-backstore handler behind a real kernel).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace sim {

enum class direction { none, to_device, from_device };

// One SCSI command as the target receives it.
struct request {
  std::span<const std::uint8_t> cdb;
  direction dir = direction::none;
  std::span<std::uint8_t> data;  // from_device: room to fill; to_device: bytes sent
};

// What the target answers.
struct outcome {
  // good: status GOOD. check_condition: status CHECK CONDITION with sense.
  // ioctl_error: the request never reaches the target; the preload door fails
  // the ioctl with error. delayed: as good, answered delay_ms late.
  enum kind_t { good, check_condition, ioctl_error, delayed } kind = good;
  std::size_t data_len = 0;             // bytes delivered (from_device) or taken (to_device)
  std::array<std::uint8_t, 18> sense{}; // fixed-format sense for check_condition
  int error = 0;                        // errno for ioctl_error (preload door only)
  unsigned delay_ms = 0;                // answer late by this much (delayed)
  std::uint16_t host_status = 0;        // transport error the initiator sees (0 = none)
  std::uint16_t driver_status = 0;      // the driver's own verdict (0 = none)
  int signal = 0;                       // sent to the initiator once answered (0 = none)
};

// How one expander misbehaves in ways a firmware rollout must catch.
struct quirks {
  bool ignore_activation = false;      // activation accepted, the active image stays
  unsigned silent_after_reset_s = 0;   // answers nothing for this long after a reset
  bool old_image_after_reset = false;  // a reset boots the image it ran before
};

struct config {
  std::string state_dir;  // persistent expander state between runs
  std::string pages_dir;  // raw page files; empty for the built-in page set
  std::string faults;     // fault-injection rules (see the simulator's README)
  // What tells one simulated unit from another in its INQUIRY answers: the
  // unit serial number (VPD page 0x80) and the NAA designator (VPD page 0x83).
  std::string serial = "SIM0000001";
  std::array<std::uint8_t, 8> naa{0x50, 0x01, 0x40, 0x5C, 0x00, 0x00, 0x00, 0x01};
  quirks behaviour{};
};

struct model;

// Returns nullptr when the state directory cannot be made or the fault rules
// do not parse.
model *model_open(const config &cfg);
outcome model_execute(model *m, const request &req);
// INQUIRY and REQUEST SENSE answered as model_execute answers them, but
// outside fault injection and request counting: for the commands a kernel's
// scan sends on its own behind a real kernel. Any other command is refused
// as an invalid operation code.
outcome model_identify(model *m, const request &req);
void model_close(model *m);

// Called for every open of the node: 0 when it may open, otherwise the errno
// the open fails with (an injected "open" fault).
int model_node_open(model *m);

// Checks fault rules without opening a model; on failure sets why.
bool faults_valid(const std::string &rules, std::string &why);

// The state directory used when none is given: $XDG_STATE_HOME/expander-sim,
// else $HOME/.local/state/expander-sim, else /tmp/expander-sim-<uid>.
std::string default_state_dir();

// SCSI status codes and sense keys the model answers with.
inline constexpr std::uint8_t kStatusGood = 0x00;
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;
inline constexpr std::uint16_t kHostError = 0x07;  // DID_ERROR
inline constexpr std::uint16_t kHostNoConnect = 0x01;  // DID_NO_CONNECT: the target does not answer

}  // namespace sim
