// Several simulated expanders behind the simulated nodes: how many, which
// node reaches which expander, and how each one misbehaves.
#pragma once

#include <string>
#include <vector>

#include "model/model.h"

namespace sim {

// The layout of the simulated expanders and nodes.
struct fleet {
  unsigned expanders = 1;
  unsigned nodes = 1;
  std::vector<unsigned> node_expander;  // expander reached through node N
  std::vector<quirks> behaviour;        // per expander
};

// The most expanders one launcher presents, and the most nodes
// (/dev/sgsim0 .. /dev/sgsim999).
inline constexpr unsigned kMaxExpanders = 100;
inline constexpr unsigned kMaxNodes = 1000;

// Builds the layout from the launcher's texts: expanders and nodes as decimal
// counts ("" for the defaults: one expander, as many nodes as expanders),
// paths as "NODE=EXPANDER,..." and quirk rules as "[EXPANDER:]KIND[=SECONDS],...".
// A node without a path reaches expander (node modulo expanders). False with
// why set when anything is malformed or out of range.
bool parse_fleet(const std::string &expanders, const std::string &nodes, const std::string &paths,
                 const std::string &quirk_rules, fleet &out, std::string &why);

// The configuration of expander index: expander 0 keeps its state in
// state_dir itself (the single expander of old), expander K in
// state_dir/expander-K; each has its own serial number and designator.
config expander_config(const fleet &f, unsigned index, const std::string &state_dir, const std::string &pages_dir,
                       const std::string &faults);

}  // namespace sim
