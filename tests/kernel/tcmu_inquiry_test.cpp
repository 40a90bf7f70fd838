// INQUIRY and REQUEST SENSE of the simulated enclosure services target: what
// the midlayer's scan reads to make it an enclosure with an sg node. Both
// front doors take the answer from the model, so they give the same bytes.
#include "model/model.h"
#include "model/sense.h"
#include "support/sim_device.h"
#include "tcmu/dispatch.h"
#include "tcmu/naa.h"
#include "tcmu/record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using bytes_t = std::vector<std::uint8_t>;

// What one door answered: the status, the sense of a CHECK CONDITION and the
// data delivered.
struct answer {
  int status = -1;
  bytes_t sense;
  bytes_t data;
  bool operator==(const answer &) const = default;
};

// A user-backstore handler's target over a model of its own.
class tcmu_door {
 public:
  explicit tcmu_door(const sim::config &unit) {
    dir_ = testing::TempDir() + "tcmu_door_" + std::to_string(::getpid());
    sim::config cfg = unit;
    cfg.state_dir = dir_;
    t_.model = sim::model_open(cfg);
    EXPECT_NE(t_.model, nullptr);
  }
  ~tcmu_door() {
    sim::model_close(t_.model);
    std::filesystem::remove_all(dir_);
  }
  tcmu_door(const tcmu_door &) = delete;
  tcmu_door &operator=(const tcmu_door &) = delete;

  answer ask(const bytes_t &cdb, std::size_t room) {
    tcmu::command cmd;
    cmd.cdb = cdb;
    cmd.data.assign(room, 0xEE);
    cmd.data_room = room;
    tcmu::reply rep;
    tcmu::answer_command(&t_, cmd, tcmu::command_direction(cmd.cdb), rep);
    answer a;
    a.status = rep.status;
    if (rep.status == 0x02) a.sense.assign(rep.sense.begin(), rep.sense.end());
    a.data.assign(cmd.data.begin(), cmd.data.begin() + static_cast<long>(rep.data_len));
    return a;
  }

 private:
  std::string dir_;
  tcmu::target t_;
};

// The same command through the preloaded door's sg node.
answer ask_sg_node(const bytes_t &cdb, std::size_t room) {
  bytes_t cdb_copy = cdb;
  bytes_t data(room, 0xEE);
  std::array<std::uint8_t, 32> sense{};
  sg_io_hdr_t hdr{};
  hdr.interface_id = 'S';
  hdr.dxfer_direction = SG_DXFER_FROM_DEV;
  hdr.cmd_len = static_cast<unsigned char>(cdb_copy.size());
  hdr.cmdp = cdb_copy.data();
  hdr.dxfer_len = static_cast<unsigned>(room);
  hdr.dxferp = data.data();
  hdr.mx_sb_len = sense.size();
  hdr.sbp = sense.data();
  hdr.timeout = 60000;
  const int fd = g_sg_syscalls.open_fn(testsupport::sim_device::kNode, O_RDWR);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(g_sg_syscalls.ioctl_fn(fd, SG_IO, &hdr), 0);
  g_sg_syscalls.close_fn(fd);
  answer a;
  a.status = hdr.status;
  if (hdr.status == 0x02) a.sense.assign(sense.begin(), sense.begin() + hdr.sb_len_wr);
  a.data.assign(data.begin(), data.begin() + static_cast<long>(room - static_cast<std::size_t>(hdr.resid)));
  return a;
}

sim::config test_unit() {
  sim::config unit;
  unit.serial = "SIMEXP0001";
  EXPECT_TRUE(tcmu::parse_naa("5001405c00000001", unit.naa));
  return unit;
}

bytes_t ask(bytes_t cdb, std::size_t room = 255) {
  tcmu_door door(test_unit());
  const answer a = door.ask(cdb, room);
  return a.status == 0 ? a.data : bytes_t{};
}

TEST(TcmuInquiry, StandardDataNamesAnEnclosureServicesDevice) {
  const auto d = ask({0x12, 0x00, 0x00, 0x00, 0x24, 0x00});
  ASSERT_EQ(d.size(), 36u);
  EXPECT_EQ(d[0], 0x0D);          // peripheral qualifier 0, enclosure services device
  EXPECT_EQ(d[4], 31);            // additional length
  EXPECT_TRUE(d[6] & 0x40);       // EncServ
  EXPECT_EQ(d[3] & 0x0F, 2);      // response data format
  for (std::size_t i = 8; i < 36; ++i) EXPECT_TRUE(d[i] >= 0x20 && d[i] < 0x7F) << i;
}

TEST(TcmuInquiry, VpdPagesTheScanAsksFor) {
  const auto list = ask({0x12, 0x01, 0x00, 0x00, 0xFF, 0x00});
  EXPECT_EQ(list, (bytes_t{0x0D, 0x00, 0x00, 0x03, 0x00, 0x80, 0x83}));

  const auto serial = ask({0x12, 0x01, 0x80, 0x00, 0xFF, 0x00});
  ASSERT_GE(serial.size(), 4u);
  EXPECT_EQ(serial[1], 0x80);
  EXPECT_EQ(std::string(serial.begin() + 4, serial.end()), "SIMEXP0001");
  EXPECT_EQ(serial[3], 10);

  const auto id = ask({0x12, 0x01, 0x83, 0x00, 0xFF, 0x00});
  EXPECT_EQ(id, (bytes_t{0x0D, 0x83, 0x00, 0x0C, 0x01, 0x03, 0x00, 0x08,
                         0x50, 0x01, 0x40, 0x5C, 0x00, 0x00, 0x00, 0x01}));
}

TEST(TcmuInquiry, AnswerIsCutToAllocationLengthAndRoom) {
  EXPECT_EQ(ask({0x12, 0x00, 0x00, 0x00, 0x05, 0x00}).size(), 5u);
  EXPECT_EQ(ask({0x12, 0x00, 0x00, 0x00, 0x00, 0x00}).size(), 0u);
  EXPECT_EQ(ask({0x12, 0x00, 0x00, 0x01, 0x00, 0x00}, 20).size(), 20u);
  EXPECT_EQ(ask({0x12, 0x01, 0x83, 0x00, 0x06, 0x00}).size(), 6u);
}

TEST(TcmuInquiry, UnknownPagesAndFieldsAreRefused) {
  const std::vector<bytes_t> refused{
      {0x12, 0x00, 0x80, 0x00, 0xFF, 0x00},  // page code without EVPD
      {0x12, 0x01, 0xB0, 0x00, 0xFF, 0x00},  // a VPD page this target lacks
      {0x12, 0x02, 0x00, 0x00, 0xFF, 0x00},  // CMDDT
  };
  tcmu_door door(test_unit());
  for (const auto &cdb : refused) {
    const answer a = door.ask(cdb, 255);
    EXPECT_EQ(a.status, 0x02) << int{cdb[1]} << " " << int{cdb[2]};
    ASSERT_EQ(a.sense.size(), 18u);
    EXPECT_EQ(a.sense[2], sim::kIllegalRequest);
    EXPECT_EQ(a.sense[12], sim::kAscInvalidFieldInCdb);
    EXPECT_TRUE(a.data.empty());
  }
}

// The handler is started with the unit's identity: serial and NAA. The
// two doors answer every identifying command alike, byte for byte: status,
// sense and data, for every allocation length and room.
TEST(TcmuInquiry, BothDoorsGiveTheModelsAnswer) {
  const std::vector<bytes_t> commands{
      {0x12, 0x00, 0x00, 0x00, 0x24, 0x00}, {0x12, 0x00, 0x00, 0x00, 0xFF, 0x00},
      {0x12, 0x00, 0x00, 0x00, 0x05, 0x00}, {0x12, 0x00, 0x00, 0x00, 0x00, 0x00},
      {0x12, 0x01, 0x00, 0x00, 0xFF, 0x00}, {0x12, 0x01, 0x80, 0x00, 0xFF, 0x00},
      {0x12, 0x01, 0x83, 0x00, 0xFF, 0x00}, {0x12, 0x01, 0x83, 0x00, 0x06, 0x00},
      {0x12, 0x00, 0x80, 0x00, 0xFF, 0x00}, {0x12, 0x01, 0xB0, 0x00, 0xFF, 0x00},
      {0x12, 0x02, 0x00, 0x00, 0xFF, 0x00}, {0x03, 0x00, 0x00, 0x00, 0x12, 0x00},
      {0x03, 0x00, 0x00, 0x00, 0x60, 0x00}, {0x03, 0x00, 0x00, 0x00, 0x08, 0x00},
  };
  testsupport::sim_device node;  // the preloaded door's model, default identity
  tcmu_door handler(sim::config{});
  for (const bytes_t &cdb : commands) {
    for (std::size_t room : {255u, 36u, 20u, 4u}) {
      const answer kernel = handler.ask(cdb, room);
      const answer preload = ask_sg_node(cdb, room);
      EXPECT_TRUE(kernel == preload) << "cdb " << int{cdb[0]} << "/" << int{cdb[1]} << "/"
                                     << int{cdb[2]} << " room " << room;
    }
  }
  // REQUEST SENSE: nothing is pending.
  const answer none = handler.ask({0x03, 0x00, 0x00, 0x00, 0x12, 0x00}, 255);
  EXPECT_EQ(none.status, 0);
  const auto no_sense = sim::check_condition(0, 0, 0).sense;
  EXPECT_EQ(none.data, bytes_t(no_sense.begin(), no_sense.end()));
}

TEST(TcmuInquiry, NaaTakesSixteenHexDigitsOnly) {
  std::array<std::uint8_t, 8> naa{};
  EXPECT_TRUE(tcmu::parse_naa("0123456789abcDEF", naa));
  EXPECT_EQ(naa, (std::array<std::uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  for (const char *bad : {"", "0123456789abcde", "0123456789abcdef0", "0123456789abcdeg"})
    EXPECT_FALSE(tcmu::parse_naa(bad, naa)) << bad;
}

TEST(TcmuInquiry, RecordLines) {
  tcmu::command cmd;
  cmd.cdb = {0x1D, 0x10, 0x00, 0x00, 0x02, 0x00};
  cmd.data = {0x91, 0xAB};
  tcmu::reply rep;
  rep.status = 0x02;
  rep.sense = sim::check_condition(0x05, 0x26, 0x00).sense;
  EXPECT_EQ(tcmu::record_line(cmd, tcmu::xfer::to_device, rep),
            "cdb=1d1000000200 status=02 len=2 sense=700005000000000a00000000260000000000 data=91ab\n");
  cmd.cdb = {0x1C, 0x01, 0x82, 0x08, 0x00, 0x00};
  rep.status = 0;
  rep.data_len = 64;
  EXPECT_EQ(tcmu::record_line(cmd, tcmu::xfer::from_device, rep), "cdb=1c0182080000 status=00 len=64\n");
}

}  // namespace
