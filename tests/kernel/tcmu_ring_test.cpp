// The user-backstore ring walker against a ring laid out in memory the way
// the kernel lays it out in the UIO mapping.
#include "tcmu/ring.h"
#include "tcmu/ring_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::size_t ring_off = 4096;
constexpr std::size_t ring_size = 4096;
constexpr std::size_t data_off = 8192;
constexpr std::size_t map_size = 16384;
const tcmu_ring_layout &L = tcmu_layout;

struct fake_ring {
  std::vector<std::uint8_t> mem = std::vector<std::uint8_t>(map_size, 0);
  std::uint32_t head = 0;

  explicit fake_ring(std::uint16_t flags = 0) {
    put<std::uint16_t>(L.mb_version, 2);
    put<std::uint16_t>(L.mb_flags, flags);
    put<std::uint32_t>(L.mb_cmdr_off, ring_off);
    put<std::uint32_t>(L.mb_cmdr_size, ring_size);
  }
  template <typename T>
  void put(std::size_t off, T v) { std::memcpy(mem.data() + off, &v, sizeof v); }
  template <typename T>
  T get(std::size_t off) const {
    T v;
    std::memcpy(&v, mem.data() + off, sizeof v);
    return v;
  }
  tcmu::ring view() { return {mem.data(), mem.size()}; }

  // Queues a command entry: the CDB at cdb_at, one iovec per (offset, length).
  std::size_t add_cmd(std::vector<std::uint8_t> cdb, std::size_t cdb_at,
                      std::vector<std::pair<std::uint64_t, std::uint64_t>> iovs) {
    const std::size_t ent = ring_off + head;
    const std::uint32_t len = static_cast<std::uint32_t>((L.ent_iov + iovs.size() * L.iov_size + 7) & ~7u);
    const std::uint32_t min_len = static_cast<std::uint32_t>(L.ent_sense + L.sense_size);
    const std::uint32_t entry_len = std::max(len, (min_len + 7) & ~7u);
    put<std::uint32_t>(ent + L.ent_len_op, entry_len | L.op_cmd);
    put<std::uint32_t>(ent + L.ent_iov_cnt, static_cast<std::uint32_t>(iovs.size()));
    put<std::uint64_t>(ent + L.ent_cdb_off, cdb_at);
    if (!cdb.empty()) std::memcpy(mem.data() + cdb_at, cdb.data(), cdb.size());
    for (std::size_t i = 0; i < iovs.size(); ++i) {
      put<std::uint64_t>(ent + L.ent_iov + i * L.iov_size, iovs[i].first);
      put<std::uint64_t>(ent + L.ent_iov + i * L.iov_size + L.iov_len, iovs[i].second);
    }
    advance(entry_len);
    return ent;
  }
  void add_pad(std::uint32_t len) {
    put<std::uint32_t>(ring_off + head + L.ent_len_op, len | L.op_pad);
    advance(len);
  }
  void advance(std::uint32_t len) {
    head = (head + len) % ring_size;
    put<std::uint32_t>(L.mb_cmd_head, head);
  }
  std::uint32_t tail() const { return get<std::uint32_t>(L.mb_cmd_tail); }
};

// What the test's answer function saw and what it answers.
struct seen {
  int calls = 0;
  std::vector<std::uint8_t> cdb, data;
  tcmu::xfer dir = tcmu::xfer::none;
  tcmu::reply answer;
  std::uint8_t fill = 0;
};

tcmu::xfer by_opcode(std::span<const std::uint8_t> cdb) {
  if (cdb.empty()) return tcmu::xfer::none;
  if (cdb[0] == 0x1C) return tcmu::xfer::from_device;
  if (cdb[0] == 0x1D) return tcmu::xfer::to_device;
  return tcmu::xfer::none;
}

void record_answer(void *ctx, tcmu::command &cmd, tcmu::xfer dir, tcmu::reply &rep) {
  auto &s = *static_cast<seen *>(ctx);
  ++s.calls;
  s.cdb = cmd.cdb;
  s.dir = dir;
  if (dir == tcmu::xfer::from_device)
    for (std::size_t i = 0; i < cmd.data.size(); ++i) cmd.data[i] = static_cast<std::uint8_t>(s.fill + i);
  s.data = cmd.data;
  rep = s.answer;
}

const std::vector<std::uint8_t> receive_cdb{0x1C, 0x01, 0x82, 0x08, 0x00, 0x00};
const std::vector<std::uint8_t> send_cdb{0x1D, 0x10, 0x00, 0x00, 0x06, 0x00};

TEST(TcmuRing, ReadIsScatteredOverTheIovecsWithItsLength) {
  fake_ring f(L.flag_cap_read_len);
  std::memset(f.mem.data() + data_off, 0xEE, 2048);
  const std::size_t ent = f.add_cmd(receive_cdb, data_off + 4000, {{data_off, 1024}, {data_off + 1024, 1024}});
  seen s;
  s.fill = 7;
  s.answer.data_len = 1500;
  ASSERT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), 1);
  EXPECT_EQ(s.cdb, receive_cdb);
  EXPECT_EQ(s.dir, tcmu::xfer::from_device);
  EXPECT_EQ(s.data.size(), 2048u);
  for (std::size_t i = 0; i < 1500; ++i)
    ASSERT_EQ(f.mem[data_off + i], static_cast<std::uint8_t>(7 + i)) << i;
  EXPECT_EQ(f.mem[data_off + 1500], 0xEE);  // past the delivered bytes: untouched
  EXPECT_EQ(f.get<std::uint8_t>(ent + L.ent_status), 0);
  EXPECT_TRUE(f.get<std::uint8_t>(ent + L.ent_uflags) & L.uflag_read_len);
  EXPECT_EQ(f.get<std::uint32_t>(ent + L.ent_read_len), 1500u);
  EXPECT_EQ(f.tail(), f.head);
}

TEST(TcmuRing, SentPageReachesTheAnswerAndCheckConditionCarriesSense) {
  fake_ring f(L.flag_cap_read_len);
  const std::vector<std::uint8_t> page{0x04, 0x00, 0x00, 0x02, 0x02, 0x01};
  std::memcpy(f.mem.data() + data_off + 16, page.data(), page.size());
  const std::size_t ent = f.add_cmd(send_cdb, data_off, {{data_off + 16, 6}});
  seen s;
  s.answer.status = 0x02;
  s.answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x01};
  ASSERT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), 1);
  EXPECT_EQ(s.data, page);
  EXPECT_EQ(f.get<std::uint8_t>(ent + L.ent_status), 0x02);
  EXPECT_EQ(0, std::memcmp(f.mem.data() + ent + L.ent_sense, s.answer.sense.data(), 18));
  for (std::size_t i = 18; i < L.sense_size; ++i) EXPECT_EQ(f.mem[ent + L.ent_sense + i], 0) << i;
  EXPECT_FALSE(f.get<std::uint8_t>(ent + L.ent_uflags) & L.uflag_read_len);
}

TEST(TcmuRing, CommandsWithoutDataAndEmptyAnswers) {
  fake_ring f(L.flag_cap_read_len);
  std::memset(f.mem.data() + data_off, 0xEE, 64);
  const std::size_t none = f.add_cmd({0x00, 0, 0, 0, 0, 0}, data_off + 4032, {});
  const std::size_t empty = f.add_cmd(receive_cdb, data_off + 4000, {{data_off, 64}});
  seen s;
  ASSERT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), 2);
  EXPECT_EQ(f.get<std::uint8_t>(none + L.ent_status), 0);
  EXPECT_FALSE(f.get<std::uint8_t>(none + L.ent_uflags) & L.uflag_read_len);
  EXPECT_TRUE(f.get<std::uint8_t>(empty + L.ent_uflags) & L.uflag_read_len);
  EXPECT_EQ(f.get<std::uint32_t>(empty + L.ent_read_len), 0u);
  EXPECT_EQ(f.mem[data_off], 0xEE);
}

TEST(TcmuRing, ReadLengthIsLeftOutWhenTheKernelCannotTakeIt) {
  fake_ring f(0);
  const std::size_t ent = f.add_cmd(receive_cdb, data_off + 4000, {{data_off, 2048}});
  seen s;
  s.answer.data_len = 10;
  ASSERT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), 1);
  EXPECT_FALSE(f.get<std::uint8_t>(ent + L.ent_uflags) & L.uflag_read_len);
}

TEST(TcmuRing, PaddingIsSkippedAndTheTailWrapsAtTheRingEnd) {
  fake_ring f;
  f.head = ring_size - 256;  // the kernel pads the ring's end before wrapping
  f.put<std::uint32_t>(L.mb_cmd_tail, f.head);
  f.add_pad(256);
  f.add_cmd(receive_cdb, data_off + 4000, {{data_off, 16}});
  seen s;
  ASSERT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), 1);
  EXPECT_EQ(s.calls, 1);
  EXPECT_EQ(f.tail(), f.head);
  EXPECT_LT(f.tail(), ring_size - 256);
}

TEST(TcmuRing, SeveralCommandsAreAnsweredInOneRound) {
  fake_ring f;
  for (int i = 0; i < 3; ++i) f.add_cmd(receive_cdb, data_off + 4000, {{data_off, 16}});
  seen s;
  EXPECT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), 3);
  EXPECT_EQ(f.tail(), f.head);
}

TEST(TcmuRing, EntriesThatDoNotFitAreRefused) {
  struct bad_case {
    const char *what;
    std::uint64_t iov_off, iov_len, cdb_at;
  };
  const bad_case cases[] = {
      {"iovec past the mapping", data_off, map_size, data_off + 4000},
      {"iovec offset past the mapping", map_size + 1, 1, data_off + 4000},
      {"cdb past the mapping", data_off, 16, map_size - 2},
  };
  for (const auto &c : cases) {
    fake_ring f;
    f.add_cmd({}, data_off + 4000, {{c.iov_off, c.iov_len}});
    f.put<std::uint64_t>(ring_off + L.ent_cdb_off, c.cdb_at);
    if (c.cdb_at < map_size) f.mem[c.cdb_at] = 0x1C;
    seen s;
    EXPECT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), -1) << c.what;
    EXPECT_EQ(s.calls, 0) << c.what;
    EXPECT_EQ(f.tail(), 0u) << c.what;
  }
}

TEST(TcmuRing, ZeroLengthEntryAndBadMailboxAreRefused) {
  fake_ring f;
  f.put<std::uint32_t>(ring_off + L.ent_len_op, L.op_cmd);
  f.advance(64);
  seen s;
  EXPECT_EQ(tcmu::ring_drain(f.view(), by_opcode, record_answer, &s), -1);

  fake_ring g;
  g.put<std::uint32_t>(L.mb_cmdr_size, map_size);  // ring would run past the mapping
  EXPECT_FALSE(tcmu::ring_valid(g.view()));
  EXPECT_EQ(tcmu::ring_drain(g.view(), by_opcode, record_answer, &s), -1);
  EXPECT_EQ(s.calls, 0);
}

TEST(TcmuRing, CdbLengthFollowsTheGroupCode) {
  const std::pair<std::uint8_t, std::size_t> cases[] = {
      {0x00, 6}, {0x12, 6}, {0x1C, 6}, {0x1D, 6}, {0x28, 10}, {0x5A, 10},
      {0x7E, 12}, {0x88, 16}, {0xA0, 12}, {0xC0, 10}, {0xE0, 10}};
  for (const auto &[op, n] : cases) EXPECT_EQ(tcmu::cdb_length(op), n) << int{op};
}

}  // namespace
