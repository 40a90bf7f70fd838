// A fake SES target behind the pass-through seam for in-process tests of the
// log road: it answers each RECEIVE DIAGNOSTIC RESULTS from a queue of pages
// per page code and records the page code of every request in order.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "sg/sg_seam.h"

namespace testlogs {

struct fake_reply {
  std::vector<std::uint8_t> bytes;  // page as the target returns it
  bool good = true;                 // false: CHECK CONDITION, nothing transferred
};

struct fake_state {
  std::map<int, std::deque<fake_reply>> queued;  // replies per page code, used in order
  std::map<int, fake_reply> standing;            // reply when the queue is empty
  std::vector<int> requests;                     // page code of every request
  int open_count = 0;
  int close_count = 0;
};

extern fake_state g_fake;

// Installs the fake for one scope with a fresh, empty state.
struct fake_expander {
  fake_expander();
  fake_expander(const fake_expander &) = delete;
  fake_expander &operator=(const fake_expander &) = delete;

  void queue(int page_code, std::vector<std::uint8_t> bytes, bool good = true);
  void always(int page_code, std::vector<std::uint8_t> bytes, bool good = true);
  const std::vector<int> &requests() const { return g_fake.requests; }

  sg_seam_guard seam;
};

}  // namespace testlogs
