// The expander's persistent state, kept in a state directory between runs:
// state.txt (key=value lines) and received.bin (the image received so far,
// assembled from the download pieces at their offsets).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using version_t = std::array<std::uint8_t, 3>;

struct expander_state {
  int active_image = 0;                       // 0 or 1
  std::array<version_t, 2> image_version{{{'1', '0', '3'}, {'1', '0', '2'}}};
  int active_data = 0;                        // 0 or 1
  std::array<version_t, 2> data_version{{{'0', '1', '5'}, {'0', '1', '4'}}};
  bool swap_armed = false;                    // first activation list accepted
  unsigned resets = 0;                        // resets carried out
  int booted_image = 0;                       // the image the expander last started from
  std::uint64_t silent_until_ms = 0;          // answers nothing before this wall-clock time
};

// The wall-clock time in milliseconds since the epoch.
std::uint64_t wall_clock_ms();

// Largest image the expander takes.
inline constexpr std::uint64_t kMaxImageSize = 32u * 1024u * 1024u;

// Identity of state.txt (inode, size, change time): a different stamp means
// another process rewrote it.
struct state_stamp {
  std::uint64_t inode = 0, size = 0, ctime_ns = 0;
  bool operator==(const state_stamp &) const = default;
};
state_stamp stamp_state(const std::string &dir);

// Creates the directory (and its parents) when missing; false on failure.
bool make_state_dir(const std::string &dir);

// Reads state.txt; a missing or unreadable file gives the factory state.
expander_state load_state(const std::string &dir);

// Writes state.txt atomically; false on failure.
bool save_state(const std::string &dir, const expander_state &s);

// Size of received.bin (0 when missing).
std::uint64_t received_size(const std::string &dir);

// Stores bytes at offset of received.bin; offset 0 starts a new image.
bool store_piece(const std::string &dir, std::uint64_t offset, const std::uint8_t *data, std::size_t n);

// Reads up to n bytes of received.bin from its start.
std::vector<std::uint8_t> received_head(const std::string &dir, std::size_t n);

// Forgets the received image.
void drop_received(const std::string &dir);

}  // namespace sim
