// The command ring of LIO's user backstore (TCMU), as mapped from its UIO
// device: a mailbox, the command ring, then the data area. The kernel's
// layout is host order by definition (it is shared memory with the running
// kernel), so fields are read at the offsets the kernel's header names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tcmu {

enum class xfer { none, to_device, from_device };

// One SCSI command taken off the ring: the CDB and the data it carries.
struct command {
  std::vector<std::uint8_t> cdb;
  std::vector<std::uint8_t> data;  // to_device: the bytes sent; from_device: room to fill
  std::size_t data_room = 0;       // total length of the command's data buffer
};

// The handler's answer to one command.
struct reply {
  std::uint8_t status = 0;                 // SCSI status byte
  std::array<std::uint8_t, 18> sense{};    // fixed-format sense, sent with CHECK CONDITION
  std::size_t data_len = 0;                // bytes of command::data delivered (from_device)
  unsigned delay_ms = 0;                   // answer this much later
};

// Decides the direction of a command's data from its CDB (the ring carries
// no direction of its own).
using direction_fn = xfer (*)(std::span<const std::uint8_t> cdb);
// Answers one command (filling cmd.data for from_device); ctx is the caller's.
using answer_fn = void (*)(void *ctx, command &cmd, xfer dir, reply &rep);

// A mapped ring. base/size cover the whole UIO mapping.
struct ring {
  std::uint8_t *base = nullptr;
  std::size_t size = 0;
};

// Checks the mailbox against the mapping: version, ring offset and size.
bool ring_valid(const ring &r);

// Takes every entry between the mailbox's tail and head, answers each
// command with answer(), writes the response into the entry and advances the
// tail. Padding and task-management entries are skipped. Returns the number
// of commands answered, or -1 when the ring holds an entry that does not fit.
int ring_drain(const ring &r, direction_fn direction, answer_fn answer, void *ctx);

// The length of a CDB from its operation code's group, as the midlayer sizes
// it (the variable-length 0x7F carries its own length in byte 7).
std::size_t cdb_length(std::uint8_t opcode);

}  // namespace tcmu
