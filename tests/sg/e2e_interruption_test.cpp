// Interruptions of the commands that change the expander: a signal that
// arrives while a request is in flight lets that request complete, no
// further piece follows, the two activation lists are never separated, and
// the run ends with its failure outcome on screen, in the log and in the
// audit trail. A closed or full standard output neither stops an update nor
// passes for success.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <random>
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

constexpr const char *kNode = "/dev/sgsim0";
constexpr std::size_t kPieces = 12;

byte_vector signed_image() {
  byte_vector b(kPieces * 512 - 7, 0xA5);
  b[0] = 0x50, b[1] = 0x4D, b[2] = 0x43, b[3] = 0x00;
  return b;
}

std::vector<testsupport::sim_event> sends_of_page(const sim_result &r, std::uint8_t page) {
  std::vector<testsupport::sim_event> out;
  for (const auto &e : r.requests()) {
    const byte_vector data = e.bytes("data_out");
    if (e.bytes("cdb")[0] == 0x1D && !data.empty() && data[0] == page) out.push_back(e);
  }
  return out;
}

std::string ending(const std::string &text, std::size_t n) {
  return text.size() >= n ? text.substr(text.size() - n) : text;
}

struct signal_case {
  int signo;
  const char *name;
};

class E2eInterruptedDownload : public testing::TestWithParam<signal_case> {};

// The signal comes while a piece chosen at random is in flight.
TEST_P(E2eInterruptedDownload, StopsAfterThePieceInFlight) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const signal_case &c = GetParam();
  std::random_device seed;
  const unsigned at = 1 + static_cast<unsigned>(seed() % kPieces);
  sim_session s;
  const std::string file = s.write_file("fw.bin", signed_image());
  sim_options o;
  o.faults = {"signal:0x04/" + std::to_string(at) + "=" + std::to_string(c.signo)};
  const sim_result r = s.run({"download=" + file, kNode}, o);
  SCOPED_TRACE(std::string(c.name) + " at piece " + std::to_string(at));

  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(sends_of_page(r, 0x04).size(), at);
  EXPECT_TRUE(sends_of_page(r, 0x91).empty());
  EXPECT_EQ(r.out, "Please Wait for downloading...\nFirmware update failed!\n");
  EXPECT_EQ(ending(unstamped(r.log), 55), "Please Wait for downloading...\nFirmware update failed!\n");
  EXPECT_EQ(r.audit, std::vector<std::string>{testsupport::audit_line("dev:/dev/sgsim0,file:" + file +
                                                                      ",info:Firmware update failed!")});
  const std::string said = at < kPieces ? "/dev/sgsim0: download interrupted by " + std::string(c.name) + ": " +
                                              std::to_string(at) + " pieces (" + std::to_string(at * 512) +
                                              " bytes) accepted, no further piece sent\n"
                                        : "/dev/sgsim0: download interrupted by " + std::string(c.name) +
                                              ": the image was sent, the activation was not\n";
  EXPECT_EQ(r.err, said);
  EXPECT_TRUE(r.leaks.empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, E2eInterruptedDownload,
                         testing::Values(signal_case{SIGINT, "SIGINT"}, signal_case{SIGTERM, "SIGTERM"},
                                         signal_case{SIGHUP, "SIGHUP"}),
                         [](const testing::TestParamInfo<signal_case> &info) { return info.param.name; });

// A signal while the first activation list is in flight: the second still
// goes out, then the run fails.
TEST(E2eInterruption, ActivationListsStayTogether) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string file = s.write_file("fw.bin", signed_image());
  sim_options o;
  o.faults = {"signal:0x91/1=15"};
  const sim_result r = s.run({"download=" + file, kNode}, o);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(sends_of_page(r, 0x04).size(), kPieces);
  const auto lists = sends_of_page(r, 0x91);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[1].bytes("data_out"), (byte_vector{0x91, 0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(r.out, "Please Wait for downloading...\nSwap active rom...\nSwap active rom failed!\n");
  EXPECT_EQ(ending(unstamped(r.log), 43), "Swap active rom...\nSwap active rom failed!\n");
  EXPECT_EQ(r.audit, std::vector<std::string>{testsupport::audit_line("dev:/dev/sgsim0,file:" + file +
                                                                      ",info:Swap active rom failed!")});
  EXPECT_EQ(r.err, "/dev/sgsim0: download interrupted by SIGTERM during the activation, after both lists were "
                   "accepted\n");
}

// A reset interrupted while it is in flight is carried out and reported as
// failed; nothing is cut short.
TEST(E2eInterruption, ResetInFlight) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_options o;
  o.faults = {"signal:0x04/1=1"};
  const sim_result r = testsupport::sim_run({"reset", kNode}, o);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(sends_of_page(r, 0x04).size(), 1u);
  EXPECT_EQ(r.out, "expander reset failed!\n");
  EXPECT_EQ(ending(unstamped(r.log), 23), "expander reset failed!\n");
  EXPECT_EQ(r.audit, std::vector<std::string>{testsupport::audit_line("dev:/dev/sgsim0,info:expander reset failed!")});
  EXPECT_EQ(r.err, "/dev/sgsim0: reset interrupted by SIGHUP after the reset was accepted\n");
}

// The shell runs corvane under the simulator with its standard output sent
// where redirect says; returns the exit status, standard error in err.
int run_redirected(const sim_session &s, const std::vector<std::string> &args, const std::string &redirect,
                   std::string &err) {
  std::string command = std::string("'") + EXPANDER_SIM_BIN + "' --preload '" + EXPANDER_SIM_PRELOAD +
                        "' --state '" + s.state_dir() + "' --capture '" + s.dir() + "/capture' --transcript '" +
                        s.dir() + "/transcript' -- '" + testsupport::corvane_path() + "'";
  for (const std::string &a : args) command += " '" + a + "'";
  command = "( sleep 0.3; " + command + " 2> '" + s.dir() + "/err'; echo $? > '" + s.dir() + "/status' ) " + redirect;
  (void)std::system(command.c_str());
  err = testsupport::read_text(s.dir() + "/err");
  return std::atoi(testsupport::read_text(s.dir() + "/status").c_str());
}

// Lost screen output fails every command; a download still runs to its end.
TEST(E2eInterruption, LostStandardOutputFailsTheRun) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  {
    sim_session s;
    std::string err;
    EXPECT_EQ(run_redirected(s, {"query", kNode}, "> /dev/full", err), 255);
    EXPECT_EQ(err, "standard output: cannot write: No space left on device\n");
  }
  {
    // A reader that has gone: the pipe is closed before corvane starts.
    sim_session s;
    const std::string file = s.write_file("fw.bin", signed_image());
    std::string err;
    EXPECT_EQ(run_redirected(s, {"download=" + file, kNode}, "| true", err), 255);
    EXPECT_EQ(err, "standard output: cannot write: Broken pipe\n");
    const std::string audit = testsupport::read_text(s.dir() + "/capture/audit.txt");
    EXPECT_NE(audit.find("info:Firmware update success!"), std::string::npos) << audit;
    const std::string log = testsupport::read_text(s.dir() + "/capture/expander_log.txt");
    EXPECT_EQ(ending(log, 25), "Firmware update success!\n");
  }
}

}  // namespace
