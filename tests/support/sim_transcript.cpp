#include "support/sim_transcript.h"

#include <sstream>

namespace testsupport {

std::string sim_event::get(const std::string &key) const {
  const auto it = fields.find(key);
  return it == fields.end() ? std::string() : it->second;
}

std::vector<std::uint8_t> sim_event::bytes(const std::string &key) const {
  const std::string text = get(key);
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

sim_event parse_sim_event(const std::string &line) {
  sim_event e;
  std::istringstream in(line);
  in >> e.kind;
  std::string token;
  while (in >> token) {
    const auto eq = token.find('=');
    if (eq != std::string::npos) e.fields[token.substr(0, eq)] = token.substr(eq + 1);
  }
  return e;
}

std::vector<sim_event> parse_sim_events(const std::string &text) {
  std::vector<sim_event> events;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) events.push_back(parse_sim_event(line));
  }
  return events;
}

std::vector<sim_event> events_of(const std::vector<sim_event> &events, const std::string &kind) {
  std::vector<sim_event> out;
  for (const sim_event &e : events) {
    if (e.kind == kind) out.push_back(e);
  }
  return out;
}

}  // namespace testsupport
