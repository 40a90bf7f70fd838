#include "model/fleet.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

// Splits text at commas; empty pieces are dropped.
std::vector<std::string> split(const std::string &text, char at) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : text) {
    if (c == at) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool number(const std::string &text, unsigned min, unsigned max, unsigned &value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char *end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  value = static_cast<unsigned>(v);
  return true;
}

// The longest silence a quirk may ask for: an hour.
constexpr unsigned kMaxSilence = 3600;

bool apply_quirk(const std::string &rule, fleet &f, std::string &why) {
  std::string kind = rule;
  unsigned index = 0;
  if (const auto colon = kind.find(':'); colon != std::string::npos) {
    if (!number(kind.substr(0, colon), 0, f.expanders - 1, index)) {
      why = "no such expander in quirk '" + rule + "'";
      return false;
    }
    kind = kind.substr(colon + 1);
  }
  std::string value;
  if (const auto eq = kind.find('='); eq != std::string::npos) {
    value = kind.substr(eq + 1);
    kind = kind.substr(0, eq);
  }
  quirks &q = f.behaviour[index];
  if (kind == "ignore-activation" && value.empty()) {
    q.ignore_activation = true;
  } else if (kind == "old-image-after-reset" && value.empty()) {
    q.old_image_after_reset = true;
  } else if (kind == "silent-after-reset" && number(value, 1, kMaxSilence, q.silent_after_reset_s)) {
  } else {
    why = "bad quirk '" + rule + "'";
    return false;
  }
  return true;
}

}  // namespace

bool parse_fleet(const std::string &expanders, const std::string &nodes, const std::string &paths,
                 const std::string &quirk_rules, fleet &out, std::string &why) {
  fleet f;
  if (!expanders.empty() && !number(expanders, 1, kMaxExpanders, f.expanders)) {
    why = "not a number of expanders from 1 to 100: '" + expanders + "'";
    return false;
  }
  f.nodes = f.expanders;
  if (!nodes.empty() && !number(nodes, 1, kMaxNodes, f.nodes)) {
    why = "not a number of nodes from 1 to 1000: '" + nodes + "'";
    return false;
  }
  f.node_expander.resize(f.nodes);
  for (unsigned n = 0; n < f.nodes; ++n) f.node_expander[n] = n % f.expanders;
  for (const std::string &p : split(paths, ',')) {
    const auto eq = p.find('=');
    unsigned node = 0, index = 0;
    if (eq == std::string::npos || !number(p.substr(0, eq), 0, f.nodes - 1, node) ||
        !number(p.substr(eq + 1), 0, f.expanders - 1, index)) {
      why = "bad path '" + p + "' (NODE=EXPANDER, node below " + std::to_string(f.nodes) + ", expander below " +
            std::to_string(f.expanders) + ")";
      return false;
    }
    f.node_expander[node] = index;
  }
  f.behaviour.resize(f.expanders);
  for (const std::string &rule : split(quirk_rules, ',')) {
    if (!apply_quirk(rule, f, why)) return false;
  }
  out = f;
  return true;
}

config expander_config(const fleet &f, unsigned index, const std::string &state_dir, const std::string &pages_dir,
                       const std::string &faults) {
  config c;
  c.state_dir = index == 0 ? state_dir : state_dir + "/expander-" + std::to_string(index);
  c.pages_dir = pages_dir;
  c.faults = faults;
  char serial[16];
  std::snprintf(serial, sizeof serial, "SIM%07u", index + 1);
  c.serial = serial;
  c.naa[6] = static_cast<std::uint8_t>((index + 1) >> 8);
  c.naa[7] = static_cast<std::uint8_t>(index + 1);
  if (index < f.behaviour.size()) c.behaviour = f.behaviour[index];
  return c;
}

}  // namespace sim
