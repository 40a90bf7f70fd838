// The simulated node judges a request as the sg driver and an SES target
// would; these are requests the program itself never makes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <array>
#include <cerrno>
#include <vector>

#include "sg/sg.h"
#include "support/sim_device.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_device;

// A request as the program builds it, open for tampering.
struct raw_request {
  std::array<std::uint8_t, 6> cdb{0x1C, 0x01, 0x82, 0x08, 0x00, 0x00};
  std::array<std::uint8_t, 64> sense{};
  byte_vector data = byte_vector(2048, 0);
  sg_io_hdr_t hdr{};

  raw_request() {
    hdr.interface_id = 'S';
    hdr.dxfer_direction = SG_DXFER_FROM_DEV;
    hdr.cmd_len = 6;
    hdr.mx_sb_len = 64;
    hdr.dxfer_len = 2048;
    hdr.dxferp = data.data();
    hdr.cmdp = cdb.data();
    hdr.sbp = sense.data();
    hdr.timeout = 60000;
  }

  void send(const byte_vector &list) {
    data = list;
    cdb = {0x1D, 0x10, 0x00, static_cast<std::uint8_t>(list.size() >> 8), static_cast<std::uint8_t>(list.size()), 0};
    hdr.dxfer_direction = SG_DXFER_TO_DEV;
    hdr.dxfer_len = static_cast<unsigned>(list.size());
    hdr.dxferp = data.data();
  }

  // Issues the request on a fresh node descriptor; returns 0 or the errno.
  int issue(int flags = O_RDWR) {
    const int fd = g_sg_syscalls.open_fn(sim_device::kNode, flags);
    if (fd < 0) return errno;
    const int rc = g_sg_syscalls.ioctl_fn(fd, SG_IO, &hdr);
    const int error = rc < 0 ? errno : 0;
    g_sg_syscalls.close_fn(fd);
    return error;
  }
};

struct driver_case {
  const char *name;
  void (*tamper)(raw_request &);
  int flags;
  int error;
};

class SimDriverChecks : public testing::TestWithParam<driver_case> {};

TEST_P(SimDriverChecks, RefusedWithTheDriversErrno) {
  sim_device dev;
  raw_request r;
  GetParam().tamper(r);
  EXPECT_EQ(r.issue(GetParam().flags), GetParam().error);
  ASSERT_EQ(dev.requests().size(), 1u);
  EXPECT_EQ(dev.requests()[0].get("result"), "errno:" + std::to_string(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    Headers, SimDriverChecks,
    testing::Values(driver_case{"InterfaceId", [](raw_request &r) { r.hdr.interface_id = 'Z'; }, O_RDWR, ENOSYS},
                    driver_case{"ShortCdb", [](raw_request &r) { r.hdr.cmd_len = 5; }, O_RDWR, EMSGSIZE},
                    driver_case{"NoCdb", [](raw_request &r) { r.hdr.cmdp = nullptr; }, O_RDWR, EMSGSIZE},
                    driver_case{"BadDirection", [](raw_request &r) { r.hdr.dxfer_direction = 7; }, O_RDWR, EINVAL},
                    driver_case{"NoBuffer", [](raw_request &r) { r.hdr.dxferp = nullptr; }, O_RDWR, EFAULT},
                    driver_case{"SendOnReadOnlyNode",
                                [](raw_request &r) { r.send({0x04, 0x00, 0x00, 0x02, 0x02, 0x01}); }, O_RDONLY,
                                EPERM}),
    [](const testing::TestParamInfo<driver_case> &info) { return info.param.name; });

struct target_case {
  const char *name;
  void (*tamper)(raw_request &);
  std::uint8_t asc;
  bool in_cdb;
  std::uint16_t field;  // byte the sense-key specific pointer names
};

class SimTargetChecks : public testing::TestWithParam<target_case> {};

TEST_P(SimTargetChecks, CheckConditionWithFixedFormatSense) {
  sim_device dev;
  raw_request r;
  GetParam().tamper(r);
  ASSERT_EQ(r.issue(), 0);
  EXPECT_EQ(r.hdr.status, 0x02);
  EXPECT_EQ(r.hdr.masked_status, 0x01);
  EXPECT_EQ(r.hdr.driver_status, 0x08);
  ASSERT_EQ(r.hdr.sb_len_wr, 18);
  EXPECT_EQ(r.sense[0], 0x70);
  EXPECT_EQ(r.sense[2], 0x05);  // ILLEGAL REQUEST
  EXPECT_EQ(r.sense[7], 10);
  EXPECT_EQ(r.sense[12], GetParam().asc);
  EXPECT_EQ(r.sense[13], 0x00);
  if (GetParam().asc != 0x1A) {
    EXPECT_EQ(r.sense[15], GetParam().in_cdb ? 0xC0 : 0x80);
    EXPECT_EQ((r.sense[16] << 8) | r.sense[17], GetParam().field);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SimTargetChecks,
    testing::Values(
        target_case{"UnknownPage", [](raw_request &r) { r.cdb[2] = 0x55; }, 0x24, true, 2},
        target_case{"NoPageCodeValid", [](raw_request &r) { r.cdb[1] = 0x00; }, 0x24, true, 1},
        target_case{"ControlByte", [](raw_request &r) { r.cdb[5] = 0x04; }, 0x24, true, 5},
        target_case{"SelfTestBits",
                    [](raw_request &r) {
                      r.send({0x04, 0x00, 0x00, 0x02, 0x02, 0x01});
                      r.cdb[1] = 0x14;
                    },
                    0x24, true, 1},
        target_case{"UnknownSendPage", [](raw_request &r) { r.send({0x05, 0x00, 0x00, 0x02, 0x02, 0x01}); }, 0x26,
                    false, 0},
        target_case{"PageLengthPastList", [](raw_request &r) { r.send({0x04, 0x00, 0x00, 0x09, 0x02, 0x01}); },
                    0x1A, false, 0},
        target_case{"UnknownStringOutCommand",
                    [](raw_request &r) { r.send({0x04, 0x00, 0x00, 0x02, 0x07, 0x01}); }, 0x26, false, 4},
        target_case{"ResetArgument", [](raw_request &r) { r.send({0x04, 0x00, 0x00, 0x02, 0x02, 0x00}); }, 0x26,
                    false, 5},
        target_case{"PieceOutOfOrder",
                    [](raw_request &r) { r.send({0x04, 0x00, 0x00, 0x06, 0x01, 0x00, 0x00, 0x02, 0x00, 0xAA}); },
                    0x26, false, 5},
        target_case{"PieceTooLong",
                    [](raw_request &r) {
                      byte_vector list(9 + 513, 0);
                      list[0] = 0x04;
                      list[2] = 0x02;
                      list[3] = 0x06;  // page length 518: 513 image bytes
                      list[4] = 0x01;
                      r.send(list);
                    },
                    0x26, false, 2},
        target_case{"SwapWithoutSignedImage",
                    [](raw_request &r) { r.send({0x91, 0x00, 0x00, 0x02, 0x01, 0x00}); }, 0x26, false, 4},
        target_case{"CommitWithoutSelect", [](raw_request &r) { r.send({0x91, 0x00, 0x00, 0x01, 0x00}); }, 0x26,
                    false, 4}),
    [](const testing::TestParamInfo<target_case> &info) { return info.param.name; });

TEST(SimTransport, BufferSmallerThanTheAllocationLengthOverrunsAtTheHost) {
  sim_device dev;
  raw_request r;
  r.hdr.dxfer_len = 16;
  ASSERT_EQ(r.issue(), 0);
  EXPECT_EQ(r.hdr.status, 0);
  EXPECT_EQ(r.hdr.host_status, 0x07);
  EXPECT_EQ(r.hdr.resid, 0);
  EXPECT_EQ(r.data[0], 0x82);
  EXPECT_EQ(r.data[16], 0x00);  // nothing past the buffer's length
}

TEST(SimTransport, ParameterListShorterThanTheCdbSaysNeverReachesTheTarget) {
  sim_device dev;
  raw_request r;
  r.send({0x04, 0x00, 0x00, 0x02, 0x02, 0x01});
  r.hdr.dxfer_len = 4;
  ASSERT_EQ(r.issue(), 0);
  EXPECT_EQ(r.hdr.host_status, 0x07);
  EXPECT_EQ(dev.requests()[0].get("result"), "host_error");
}

TEST(SimTransport, ResidualCountsWhatWasNotDelivered) {
  sim_device dev;
  raw_request r;
  ASSERT_EQ(r.issue(), 0);
  EXPECT_EQ(r.hdr.status, 0);
  EXPECT_EQ(r.hdr.resid, 2048 - 48);
  EXPECT_EQ(r.hdr.info, 0u);
}

TEST(SimOtherIoctls, VersionIsAnsweredOthersRefused) {
  sim_device dev;
  const int fd = g_sg_syscalls.open_fn(sim_device::kNode, O_RDONLY);
  int version = 0;
  EXPECT_EQ(g_sg_syscalls.ioctl_fn(fd, SG_GET_VERSION_NUM, &version), 0);
  EXPECT_GE(version, 30000);
  EXPECT_EQ(g_sg_syscalls.ioctl_fn(fd, 0x1234, &version), -1);
  EXPECT_EQ(errno, ENOTTY);
  g_sg_syscalls.close_fn(fd);
  EXPECT_EQ(dev.open_descriptors(), 0);
}

TEST(SimInquiry, IdentifiesAnEnclosureServicesDevice) {
  sim_device dev;
  raw_request r;
  r.cdb = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
  r.hdr.dxfer_len = 36;
  ASSERT_EQ(r.issue(O_RDONLY), 0);
  EXPECT_EQ(r.hdr.status, 0);
  EXPECT_EQ(r.data[0], 0x0D);
  EXPECT_EQ(r.hdr.resid, 0);
}

}  // namespace
