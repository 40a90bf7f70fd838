// Walks the user backstore's command ring: every command entry's CDB and
// data buffer are read before the response is written, because request and
// response share one union inside the entry.
#include "tcmu/ring.h"
#include "tcmu/ring_layout.h"

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace tcmu {
namespace {

const tcmu_ring_layout &L = tcmu_layout;

bool holds(const ring &r, std::uint64_t off, std::uint64_t n) {
  return off <= r.size && n <= r.size - off;
}

template <typename T>
T load(const ring &r, std::size_t off) {
  T v{};
  if (holds(r, off, sizeof v)) std::memcpy(&v, r.base + off, sizeof v);
  return v;
}

template <typename T>
void store(const ring &r, std::size_t off, T v) {
  if (holds(r, off, sizeof v)) std::memcpy(r.base + off, &v, sizeof v);
}

std::uint32_t *word_at(const ring &r, std::size_t off) {
  return reinterpret_cast<std::uint32_t *>(r.base + off);
}

struct span_ref {
  std::uint64_t off = 0;
  std::uint64_t len = 0;
};

// Reads the CDB and the iovecs of the entry at ent into cmd; false when any
// of them lies outside the mapping.
bool read_request(const ring &r, std::size_t ent, std::size_t ent_len, command &cmd,
                  std::vector<span_ref> &iovs) {
  const auto cdb_off = load<std::uint64_t>(r, ent + L.ent_cdb_off);
  if (!holds(r, cdb_off, 1)) return false;
  std::size_t n = cdb_length(r.base[cdb_off]);
  if (r.base[cdb_off] == 0x7F && holds(r, cdb_off, 8)) n = std::size_t{r.base[cdb_off + 7]} + 8;
  if (!holds(r, cdb_off, n)) return false;
  cmd.cdb.assign(r.base + cdb_off, r.base + cdb_off + n);

  const auto count = load<std::uint32_t>(r, ent + L.ent_iov_cnt);
  if (L.ent_iov + std::uint64_t{count} * L.iov_size > ent_len) return false;
  iovs.clear();
  cmd.data_room = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    span_ref v{load<std::uint64_t>(r, ent + L.ent_iov + i * L.iov_size),
               load<std::uint64_t>(r, ent + L.ent_iov + i * L.iov_size + L.iov_len)};
    if (!holds(r, v.off, v.len)) return false;
    iovs.push_back(v);
    cmd.data_room += v.len;
  }
  return true;
}

void gather(const ring &r, const std::vector<span_ref> &iovs, std::vector<std::uint8_t> &out) {
  out.clear();
  for (const auto &v : iovs) out.insert(out.end(), r.base + v.off, r.base + v.off + v.len);
}

std::size_t scatter(const ring &r, const std::vector<span_ref> &iovs,
                    std::span<const std::uint8_t> in) {
  std::size_t done = 0;
  if (in.empty()) return 0;
  for (const auto &v : iovs) {
    const std::size_t n = std::min<std::size_t>(v.len, in.size() - done);
    std::memcpy(r.base + v.off, in.data() + done, n);
    done += n;
    if (done == in.size()) break;
  }
  return done;
}

void sleep_ms(unsigned ms) {
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0) {
  }
}

void write_response(const ring &r, std::size_t ent, xfer dir, const reply &rep,
                    std::size_t delivered) {
  store<std::uint8_t>(r, ent + L.ent_status, rep.status);
  if (holds(r, ent + L.ent_sense, L.sense_size)) {
    std::memset(r.base + ent + L.ent_sense, 0, L.sense_size);
    if (rep.status == 0x02) std::memcpy(r.base + ent + L.ent_sense, rep.sense.data(), rep.sense.size());
  }
  const auto flags = load<std::uint16_t>(r, L.mb_flags);
  if (dir == xfer::from_device && rep.status == 0 && (flags & L.flag_cap_read_len)) {
    store<std::uint8_t>(r, ent + L.ent_uflags,
                        static_cast<std::uint8_t>(load<std::uint8_t>(r, ent + L.ent_uflags) |
                                                  L.uflag_read_len));
    store<std::uint32_t>(r, ent + L.ent_read_len, static_cast<std::uint32_t>(delivered));
  }
}

void answer_entry(const ring &r, std::size_t ent, command &cmd,
                  const std::vector<span_ref> &iovs, xfer dir, answer_fn answer, void *ctx) {
  reply rep;
  answer(ctx, cmd, dir, rep);
  if (rep.delay_ms != 0) sleep_ms(rep.delay_ms);
  std::size_t delivered = 0;
  if (dir == xfer::from_device && rep.status == 0) {
    const std::size_t n = std::min(rep.data_len, cmd.data.size());
    delivered = scatter(r, iovs, std::span<const std::uint8_t>(cmd.data.data(), n));
  }
  write_response(r, ent, dir, rep, delivered);
}

}  // namespace

std::size_t cdb_length(std::uint8_t opcode) {
  // Command length by group code, as the midlayer sizes them.
  constexpr std::array<std::size_t, 8> by_group{6, 10, 10, 12, 16, 12, 10, 10};
  return by_group[opcode >> 5];
}

bool ring_valid(const ring &r) {
  if (r.base == nullptr || r.size < L.mb_size) return false;
  if (load<std::uint16_t>(r, L.mb_version) < 2) return false;
  const auto off = load<std::uint32_t>(r, L.mb_cmdr_off);
  const auto size = load<std::uint32_t>(r, L.mb_cmdr_size);
  return off >= L.mb_size && size >= L.ent_header && holds(r, off, size);
}

int ring_drain(const ring &r, direction_fn direction, answer_fn answer, void *ctx) {
  if (!ring_valid(r)) return -1;
  const auto cmdr_off = load<std::uint32_t>(r, L.mb_cmdr_off);
  const auto cmdr_size = load<std::uint32_t>(r, L.mb_cmdr_size);
  const std::uint32_t head = __atomic_load_n(word_at(r, L.mb_cmd_head), __ATOMIC_ACQUIRE);
  std::uint32_t tail = load<std::uint32_t>(r, L.mb_cmd_tail);
  int answered = 0;
  command cmd;
  std::vector<span_ref> iovs;
  while (tail != head) {
    if (tail >= cmdr_size || cmdr_size - tail < L.ent_header) return -1;
    const std::size_t ent = std::size_t{cmdr_off} + tail;
    const auto len_op = load<std::uint32_t>(r, ent + L.ent_len_op);
    const std::uint32_t len = len_op & ~L.op_mask;
    if (len < L.ent_header || len > cmdr_size - tail) return -1;
    if ((len_op & L.op_mask) == L.op_cmd) {
      if (!read_request(r, ent, len, cmd, iovs)) return -1;
      const xfer dir = direction(cmd.cdb);
      if (dir == xfer::to_device) gather(r, iovs, cmd.data);
      else cmd.data.assign(dir == xfer::from_device ? cmd.data_room : 0, 0);
      answer_entry(r, ent, cmd, iovs, dir, answer, ctx);
      ++answered;
    }
    tail = (tail + len) % cmdr_size;
    __atomic_store_n(word_at(r, L.mb_cmd_tail), tail, __ATOMIC_RELEASE);
  }
  return answered;
}

}  // namespace tcmu
