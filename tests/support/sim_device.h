// Routes the pass-through's g_sg_syscalls to an in-process simulated
// expander for one scope, so in-process tests run the real corvane_core code
// against the model: the node "/dev/sgsim0" answers, every other path fails
// to open. The model's state lives in a private directory.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/model.h"
#include "sg/sg_seam.h"
#include "support/sim_run.h"

namespace testsupport {

struct sim_device_options {
  std::map<int, byte_vector> pages;    // raw pages instead of the built-in set
  std::vector<byte_vector> nv_chunks;  // page 0xF4 chunks
  std::string faults;                  // fault rules
};

class sim_device {
 public:
  static constexpr const char *kNode = "/dev/sgsim0";

  explicit sim_device(const sim_device_options &options = {});
  ~sim_device();
  sim_device(const sim_device &) = delete;
  sim_device &operator=(const sim_device &) = delete;

  // Every open, request and close so far.
  std::vector<sim_event> transcript() const { return parse_sim_events(transcript_); }
  std::vector<sim_event> requests() const { return events_of(transcript(), "sgio"); }
  // Node descriptors opened and not yet closed.
  int open_descriptors() const;
  const std::string &dir() const { return dir_; }

 private:
  friend struct sim_device_calls;
  std::string dir_;
  sim::model *model_ = nullptr;
  std::string transcript_;
  std::map<int, int> open_;  // descriptor -> open flags
  int next_fd_ = 1000;
  std::unique_ptr<sg_seam_guard> seam_;
};

}  // namespace testsupport
