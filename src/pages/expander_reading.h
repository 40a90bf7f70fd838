// What check and verify read of an expander: its identity and firmware
// status, through INQUIRY and the firmware status page only.
#pragma once

#include <array>

#include "sg/sg_reason.h"

struct expander_reading {
  bool answered = false;
  std::array<char, 64> serial{};      // VPD page 0x80 ("" when not given)
  std::array<char, 66> designator{};  // first designator of VPD page 0x83, hex
  int active_image = 0;               // image number, as corvane query shows it
  std::array<char, 4> image_version{};
  int other_image = 0;
  std::array<char, 4> other_version{};
  int active_data = 0;
  std::array<char, 4> data_version{};
  std::array<char, kReasonSize> why{};  // why it did not answer
};

// Reads dev: true when the firmware status page came whole; otherwise false
// with the reason in r.why. Identity pages that fail leave their fields empty.
bool read_expander(const char *dev, expander_reading &r);

// Prints the reading as check shows it.
void print_reading(const expander_reading &r);

// A version as the firmware status page carries it: three printable characters.
bool valid_version(const char *text);
