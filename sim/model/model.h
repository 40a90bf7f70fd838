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
  enum kind_t { good, check_condition, ioctl_error, delayed } kind = good;
  std::size_t data_len = 0;             // bytes delivered (from_device)
  std::array<std::uint8_t, 18> sense{}; // fixed-format sense for check_condition
  int error = 0;                        // errno for ioctl_error (preload door only)
  unsigned delay_ms = 0;                // answer late by this much (delayed)
};

struct config {
  std::string state_dir;  // persistent expander state between runs
  std::string pages_dir;  // raw page files; empty for the built-in page set
  std::string faults;     // fault-injection rules (see the simulator's README)
};

struct model;

model *model_open(const config &cfg);
outcome model_execute(model *m, const request &req);
void model_close(model *m);

}  // namespace sim
