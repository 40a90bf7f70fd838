// Every failed exchange says why on standard error, in one line naming the
// device: the errno of the open or the ioctl, the SCSI status with its sense
// in words, the host or driver status, a timeout, a short page. Standard
// output and the operation log stay what they were without the reason.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::unstamped;

constexpr const char *kQueryFailed = "Firmware Version query failed!\n";

struct reason_case {
  const char *name;
  const char *fault;   // fails the second status read, the one that counts
  const char *reason;  // the whole standard error
};

const reason_case kQueryCases[] = {
    {"MissingNode", "open:*", "/dev/sgsim0: cannot open: No such file or directory\n"},
    {"PermissionDenied", "open:*=13", "/dev/sgsim0: cannot open: Permission denied\n"},
    {"IoctlError", "ioctl:2", "/dev/sgsim0: Receive diagnostic results page 0x82: SG_IO failed: Input/output error\n"},
    {"IoctlNoDevice", "ioctl:2=19",
     "/dev/sgsim0: Receive diagnostic results page 0x82: SG_IO failed: No such device\n"},
    {"CheckHardwareError", "check:2",
     "/dev/sgsim0: Receive diagnostic results page 0x82: status Check Condition, Hardware Error, "
     "Additional sense: Internal target failure (sense 4/44/00)\n"},
    {"CheckInvalidField", "check:2=5/24/00",
     "/dev/sgsim0: Receive diagnostic results page 0x82: status Check Condition, Illegal Request, "
     "Additional sense: Invalid field in cdb (sense 5/24/00)\n"},
    {"CheckNotReady", "check:2=2/04/01",
     "/dev/sgsim0: Receive diagnostic results page 0x82: status Check Condition, Not Ready, "
     "Additional sense: Logical unit is in process of becoming ready (sense 2/04/01)\n"},
    {"CheckVendorCode", "check:2=b/99/42",
     "/dev/sgsim0: Receive diagnostic results page 0x82: status Check Condition, Aborted Command, "
     "vendor specific ASC=99, ASCQ=42 (hex) (sense b/99/42)\n"},
    {"HostError", "host:2", "/dev/sgsim0: Receive diagnostic results page 0x82: Host_status=0x07 [DID_ERROR]\n"},
    {"HostNoConnect", "host:2=0x01",
     "/dev/sgsim0: Receive diagnostic results page 0x82: Host_status=0x01 [DID_NO_CONNECT]\n"},
    {"DriverError", "driver:2",
     "/dev/sgsim0: Receive diagnostic results page 0x82: Driver_status=0x04 [DRIVER_ERROR]\n"},
    {"Timeout", "delay:2=60000",
     "/dev/sgsim0: Receive diagnostic results page 0x82: timed out after 60000 ms, "
     "Host_status=0x03 [DID_TIME_OUT]\n"},
    {"ShortEmptyPage", "short:2=0", "/dev/sgsim0: Receive diagnostic results page 0x82: 0 of 2048 bytes delivered\n"},
};

class E2eQueryReason : public testing::TestWithParam<reason_case> {};

TEST_P(E2eQueryReason, OneLineOnStandardErrorScreenAndLogUnchanged) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const reason_case &c = GetParam();
  sim_options o;
  o.faults = {c.fault};
  const sim_result r = testsupport::sim_run({"query", "/dev/sgsim0"}, o);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, c.reason);
  EXPECT_EQ(r.out, kQueryFailed);
  EXPECT_EQ(unstamped(r.log), testsupport::user_line() + testsupport::corvane_path() +
                                  " query /dev/sgsim0\n" + kQueryFailed);
}

INSTANTIATE_TEST_SUITE_P(Faults, E2eQueryReason, testing::ValuesIn(kQueryCases),
                         [](const testing::TestParamInfo<reason_case> &info) { return info.param.name; });

// A first read that fails and a second that succeeds: the query succeeds,
// and the failed read still says why.
TEST(E2eReason, FailedFirstReadSaysWhyAndQuerySucceeds) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options o;
  o.faults = {"check:1=5/24/00"};
  const sim_result r = testsupport::sim_run({"query", "/dev/sgsim0"}, o);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("page 0x82: status Check Condition, Illegal Request"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("failed"), std::string::npos);
}

// The error SG_IO gives on a node that is no sg device, here: ENOTTY from
// the kernel, or what an emulator answers for an ioctl it does not carry.
std::string sg_io_error_on(const std::string &path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  sg_io_hdr_t hdr{};
  hdr.interface_id = 'S';
  const int rc = ioctl(fd, SG_IO, &hdr);
  const int error = errno;
  close(fd);
  return rc == 0 ? "no error" : std::strerror(error);
}

// Nodes that are not sg devices: the ioctl says so.
TEST(E2eReason, NodeThatIsNotAnSgDevice) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  testsupport::sim_session s;
  const std::string plain = s.write_file("plain", {1, 2, 3});
  for (const std::string &dev : {std::string("/dev/null"), plain}) {
    const sim_result r = s.run({"query", dev});
    EXPECT_EQ(r.status, 255) << dev;
    EXPECT_EQ(r.err, dev + ": Receive diagnostic results page 0x82: SG_IO failed: " + sg_io_error_on(dev) + "\n");
    EXPECT_EQ(r.out, kQueryFailed);
  }
}

// A refused piece of a download names the send and its page; the screen and
// the log keep the outcome and, for an ioctl failure, "ioctl error".
TEST(E2eReason, RefusedPieceAndActivation) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  struct send_case {
    const char *fault;
    const char *reason;
    const char *outcome;
  };
  const send_case cases[] = {
      {"check:0x04/2=5/26/00",
       "/dev/sgsim0: Send diagnostic page 0x04: status Check Condition, Illegal Request, "
       "Additional sense: Invalid field in parameter list (sense 5/26/00)\n",
       "Firmware update failed!\n"},
      {"ioctl:0x04/1=5", "/dev/sgsim0: Send diagnostic page 0x04: SG_IO failed: Input/output error\n",
       "Firmware update failed!\n"},
      {"host:0x91/2", "/dev/sgsim0: Send diagnostic page 0x91: Host_status=0x07 [DID_ERROR]\n",
       "Swap active rom failed!\n"},
  };
  for (const send_case &c : cases) {
    testsupport::sim_session s;
    testsupport::byte_vector fw(1500, 0x11);
    fw[0] = 0x50, fw[1] = 0x4D, fw[2] = 0x43, fw[3] = 0x00;
    const std::string file = s.write_file("fw.bin", fw);
    sim_options o;
    o.faults = {c.fault};
    const sim_result r = s.run({"download=" + file, "/dev/sgsim0"}, o);
    EXPECT_EQ(r.status, 255) << c.fault;
    EXPECT_EQ(r.err, c.reason) << c.fault;
    const std::size_t at = r.out.size() >= std::string(c.outcome).size()
                               ? r.out.size() - std::string(c.outcome).size() : 0;
    EXPECT_EQ(r.out.substr(at), c.outcome) << c.fault;
    const std::string log = unstamped(r.log);
    EXPECT_EQ(log.substr(log.size() - std::string(c.outcome).size()), c.outcome) << c.fault;
  }
}

}  // namespace
