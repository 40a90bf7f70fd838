// The pass-through routines against a scripted device behind the seam.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "sg/fake_sg.h"
#include "sg/sg.h"
#include "support/temp_log.h"

namespace {

using bytes_t = std::vector<std::uint8_t>;

TEST(SgQueryCmd, SendsReceiveDiagnosticResultsWithExactHeader) {
  testsupport::TempLog log;
  fakesg::scope fake({fakesg::page({0x82, 0x00, 0x00, 0x24})});
  std::array<std::uint8_t, kReceiveSize> buf{};
  ASSERT_EQ(sg_query_cmd("/dev/sgX", 0x82, buf), 0);
  ASSERT_EQ(fakesg::g_state.seen.size(), 1u);
  const fakesg::request_seen &r = fakesg::g_state.seen[0];
  EXPECT_EQ(r.path, "/dev/sgX");
  EXPECT_EQ(r.open_flags, O_RDONLY);
  EXPECT_EQ(r.ioctl_code, static_cast<unsigned long>(SG_IO));
  EXPECT_EQ(r.cdb, (bytes_t{0x1C, 0x01, 0x82, 0x08, 0x00, 0x00}));
  EXPECT_EQ(r.hdr.interface_id, 'S');
  EXPECT_EQ(r.hdr.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(r.hdr.cmd_len, 6);
  EXPECT_EQ(r.hdr.mx_sb_len, 64);
  EXPECT_EQ(r.hdr.dxfer_len, 2048u);
  EXPECT_EQ(r.hdr.dxferp, buf.data());
  EXPECT_NE(r.hdr.sbp, nullptr);
  EXPECT_EQ(r.hdr.timeout, 60000u);
  EXPECT_EQ(r.hdr.iovec_count, 0);
  EXPECT_EQ(r.hdr.flags, 0u);
  EXPECT_EQ(r.hdr.pack_id, 0);
  EXPECT_EQ(r.hdr.usr_ptr, nullptr);
  EXPECT_EQ(r.hdr.status, 0);
  EXPECT_EQ(r.hdr.resid, 0);
  EXPECT_EQ(r.closes, 1);
  EXPECT_EQ(buf[0], 0x82);
  EXPECT_EQ(buf[3], 0x24);
  EXPECT_EQ(fakesg::g_state.open_fds, 0);
  EXPECT_EQ(log.text(), "");
}

TEST(SgQueryCmd, PageCodeTravelsAsItsLowByte) {
  fakesg::scope fake;
  std::array<std::uint8_t, kReceiveSize> buf{};
  ASSERT_EQ(sg_query_cmd("/dev/sgX", 0x1F4, buf), 0);
  EXPECT_EQ(fakesg::g_state.seen[0].cdb[2], 0xF4);
}

struct failure_case {
  const char *name;
  fakesg::answer answer;
  bool issued;
  int closes;
};

class SgFailure : public testing::TestWithParam<failure_case> {};

TEST_P(SgFailure, QueryFailsLeavesBufferAndLogsNothing) {
  testsupport::TempLog log;
  fakesg::scope fake({GetParam().answer});
  std::array<std::uint8_t, kReceiveSize> buf;
  buf.fill(0xA5);
  EXPECT_EQ(sg_query_cmd("/dev/sgX", 0x82, buf), -1);
  const fakesg::request_seen &r = fakesg::g_state.seen.at(0);
  EXPECT_EQ(r.issued, GetParam().issued);
  EXPECT_EQ(r.closes, GetParam().closes);
  if (!GetParam().issued) {
    EXPECT_EQ(buf[0], 0xA5);
  }
  EXPECT_EQ(log.text(), "");
}

TEST_P(SgFailure, SendFailsAndLogsOnlyAFailedIoctl) {
  testsupport::TempLog log;
  fakesg::scope fake({GetParam().answer});
  const std::uint8_t list[] = {0x04, 0x00, 0x00, 0x02, 0x02, 0x01};
  EXPECT_EQ(sg_send_cmd("/dev/sgX", list, 6), -1);
  const fakesg::request_seen &r = fakesg::g_state.seen.at(0);
  EXPECT_EQ(r.open_flags, O_RDWR);
  EXPECT_EQ(r.issued, GetParam().issued);
  EXPECT_EQ(r.closes, GetParam().closes);
  const std::string text = log.text();
  if (GetParam().answer.ioctl_result < 0) {
    ASSERT_EQ(text.size(), 25u + 12u);
    EXPECT_EQ(text.substr(25), "ioctl error\n");
  } else {
    EXPECT_EQ(text, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SgFailure,
    testing::Values(failure_case{"OpenFails", fakesg::open_fails(), false, 0},
                    failure_case{"OpenYieldsZero", fakesg::open_yields(0), false, 1},
                    failure_case{"IoctlFails", fakesg::ioctl_fails(), true, 1},
                    failure_case{"CheckCondition", fakesg::status(0x02), true, 1},
                    failure_case{"Busy", fakesg::status(0x08), true, 1},
                    // GOOD status but the transport or driver gave up: not a success.
                    failure_case{"HostTimedOut", fakesg::host(0x03), true, 1},
                    failure_case{"HostError", fakesg::host(0x07), true, 1},
                    failure_case{"DriverTimedOut", fakesg::driver(0x06), true, 1},
                    failure_case{"DriverError", fakesg::driver(0x04), true, 1}),
    [](const testing::TestParamInfo<failure_case> &info) { return info.param.name; });

struct send_length_case {
  int len;
  std::uint8_t hi;
  std::uint8_t lo;
};

class SgSendLength : public testing::TestWithParam<send_length_case> {};

TEST_P(SgSendLength, LengthGoesIntoBytesThreeAndFour) {
  fakesg::scope fake;
  std::vector<std::uint8_t> list(static_cast<std::size_t>(GetParam().len), 0x5A);
  ASSERT_EQ(sg_send_cmd("/dev/sgX", list.data(), GetParam().len), 0);
  const fakesg::request_seen &r = fakesg::g_state.seen.at(0);
  EXPECT_EQ(r.cdb, (bytes_t{0x1D, 0x10, 0x00, GetParam().hi, GetParam().lo, 0x00}));
  EXPECT_EQ(r.hdr.interface_id, 'S');
  EXPECT_EQ(r.hdr.dxfer_direction, SG_DXFER_TO_DEV);
  EXPECT_EQ(r.hdr.cmd_len, 6);
  EXPECT_EQ(r.hdr.mx_sb_len, 64);
  EXPECT_EQ(r.hdr.dxfer_len, static_cast<unsigned>(GetParam().len));
  EXPECT_EQ(r.hdr.timeout, 60000u);
  EXPECT_EQ(r.sent, list);
  EXPECT_EQ(r.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(Lengths, SgSendLength,
                         testing::Values(send_length_case{5, 0x00, 0x05},
                                         send_length_case{6, 0x00, 0x06},
                                         send_length_case{521, 0x02, 0x09},
                                         send_length_case{65535, 0xFF, 0xFF}));

TEST(SgSendCmd, LengthOutsideTheSixteenBitFieldIsNeverSent) {
  fakesg::scope fake;
  std::vector<std::uint8_t> list(65536, 0);
  EXPECT_EQ(sg_send_cmd("/dev/sgX", list.data(), 65536), -1);
  EXPECT_EQ(sg_send_cmd("/dev/sgX", list.data(), -1), -1);
  EXPECT_EQ(sg_send_cmd("/dev/sgX", nullptr, 6), -1);
  EXPECT_TRUE(fakesg::g_state.seen.empty());
}

}  // namespace
