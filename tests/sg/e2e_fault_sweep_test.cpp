// For each command, every request in turn is made to fail (ioctl error,
// CHECK CONDITION, node that cannot be opened): the outcome message, exit
// status, audit line and log follow, no later request is sent after a refused
// piece, and no descriptor is left open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_options;
using testsupport::sim_result;
using testsupport::sim_session;
using testsupport::unstamped;

enum class command { query, download_signed, download_plain, reset };
enum class fault { ioctl, check, open };

const char *const kFaultNames[] = {"ioctl", "check", "open"};
constexpr const char *kBlock = "Active Image:  image0\nImage Version: 103\nActive Data:   data0\nData Version:  015\n";

struct sweep_case {
  command cmd;
  unsigned nth;        // request made to fail
  const char *screen;  // the whole screen output
  int status;
  bool stops;          // no request follows the failed one
  bool is_send;
  const char *info;    // audit outcome, nullptr for none
};

// Requests in order: query = status, status; download = status, piece, piece
// (signed: then the two activation lists); reset = reset, status, status.
const sweep_case kCases[] = {
    {command::query, 1, kBlock, 0, false, false, nullptr},
    {command::query, 2, "Firmware Version query failed!\n", 255, true, false, nullptr},
    {command::download_signed, 1, "Please Wait for downloading...\nSwap active rom...\nFirmware update success!\n", 0,
     false, false, "Firmware update success!"},
    {command::download_signed, 2, "Please Wait for downloading...\nFirmware update failed!\n", 255, true, true,
     "Firmware update failed!"},
    {command::download_signed, 3, "Please Wait for downloading...\nFirmware update failed!\n", 255, true, true,
     "Firmware update failed!"},
    {command::download_signed, 4, "Please Wait for downloading...\nSwap active rom...\nSwap active rom failed!\n",
     255, true, true, "Swap active rom failed!"},
    {command::download_signed, 5, "Please Wait for downloading...\nSwap active rom...\nSwap active rom failed!\n",
     255, true, true, "Swap active rom failed!"},
    {command::download_plain, 1, "Please Wait for downloading...\nFirmware update success!\n", 0, false, false,
     "Firmware update success!"},
    {command::download_plain, 2, "Please Wait for downloading...\nFirmware update failed!\n", 255, true, true,
     "Firmware update failed!"},
    {command::download_plain, 3, "Please Wait for downloading...\nFirmware update failed!\n", 255, true, true,
     "Firmware update failed!"},
    {command::reset, 1, "expander reset failed!\n", 255, true, true, "expander reset failed!"},
    {command::reset, 2, "expander reset success!\n", 0, false, false, "expander reset success!"},
    {command::reset, 3, "expander reset success!\n", 0, false, false, "expander reset success!"},
};

unsigned request_count(command c) {
  switch (c) {
    case command::query: return 2;
    case command::download_signed: return 5;
    default: return 3;
  }
}

byte_vector image(bool with_signature) {
  byte_vector b(600, 0x3C);
  if (with_signature) {
    b[0] = 0x50;
    b[1] = 0x4D;
    b[2] = 0x43;
    b[3] = 0x00;
  }
  return b;
}

class E2eFaultSweep : public testing::TestWithParam<std::tuple<sweep_case, fault>> {};

TEST_P(E2eFaultSweep, OutcomeFollowsTheFailedRequest) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const auto &[c, f] = GetParam();
  sim_session s;
  std::vector<std::string> args;
  std::string file;
  switch (c.cmd) {
    case command::query: args = {"query"}; break;
    case command::reset: args = {"reset"}; break;
    default:
      file = s.write_file("fw.bin", image(c.cmd == command::download_signed));
      args = {"download=" + file};
  }
  args.push_back("/dev/sgsim0");
  sim_options o;
  o.faults = {std::string(kFaultNames[static_cast<int>(f)]) + ":" + std::to_string(c.nth)};
  const sim_result r = s.run(args, o);

  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, c.screen);
  // The log holds the same text after the two start-up lines; a failed
  // ioctl of a send adds its own line before the outcome.
  std::string log = c.screen;
  if (f == fault::ioctl && c.is_send) {
    const std::size_t last = log.rfind('\n', log.size() - 2);
    log.insert(last == std::string::npos ? 0 : last + 1, "ioctl error\n");
  }
  std::string command_line = testsupport::corvane_path();
  for (const std::string &a : args) command_line += " " + a;
  EXPECT_EQ(unstamped(r.log), testsupport::user_line() + command_line + "\n" + log);
  std::vector<std::string> audit;
  if (c.info != nullptr) {
    const std::string file_field = file.empty() ? "" : "file:" + file + ",";
    audit.push_back(testsupport::audit_line("dev:/dev/sgsim0," + file_field + "info:" + c.info));
  }
  EXPECT_EQ(r.audit, audit);
  // Requests that reached the driver: an open fault keeps its request away.
  const unsigned attempted = c.stops ? c.nth : request_count(c.cmd);
  EXPECT_EQ(r.requests().size(), attempted - (f == fault::open ? 1u : 0u));
  EXPECT_EQ(testsupport::events_of(r.transcript, "open").size(), attempted);
  EXPECT_TRUE(r.leaks.empty());
}

std::string sweep_name(const testing::TestParamInfo<std::tuple<sweep_case, fault>> &info) {
  static const char *const names[] = {"Query", "DownloadSigned", "DownloadPlain", "Reset"};
  const sweep_case &c = std::get<0>(info.param);
  return std::string(names[static_cast<int>(c.cmd)]) + "Request" + std::to_string(c.nth) +
         kFaultNames[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Requests, E2eFaultSweep,
                         testing::Combine(testing::ValuesIn(kCases),
                                          testing::Values(fault::ioctl, fault::check, fault::open)),
                         sweep_name);

// The log command never fails as a whole, whichever request fails.
TEST(E2eFaultSweepLog, LogAlwaysEndsWithItsSavedLine) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  for (const char *f : {"ioctl:1", "check:2", "open:3", "short:4=2", "ioctl:*"}) {
    sim_options o;
    o.faults = {f};
    const sim_result r = testsupport::sim_run({"log", "/dev/sgsim0"}, o);
    EXPECT_EQ(r.status, 0) << f;
    const std::string last = "log saved in /var/log/expander_log.txt!\n";
    ASSERT_GE(r.out.size(), last.size());
    EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last) << f;
    EXPECT_TRUE(r.audit.empty());
    EXPECT_TRUE(r.leaks.empty()) << f;
  }
}

}  // namespace
