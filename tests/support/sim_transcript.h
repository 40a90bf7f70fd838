// Reading the simulator's transcript: one event per line, "KIND key=value ...".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct sim_event {
  std::string kind;  // open, sgio, ioctl, close, leak
  std::map<std::string, std::string> fields;

  // The field's text, "" when the event has no such field.
  std::string get(const std::string &key) const;
  // The field's hex text as bytes.
  std::vector<std::uint8_t> bytes(const std::string &key) const;
};

sim_event parse_sim_event(const std::string &line);
std::vector<sim_event> parse_sim_events(const std::string &text);

// The events of one kind, in order.
std::vector<sim_event> events_of(const std::vector<sim_event> &events, const std::string &kind);

}  // namespace testsupport
