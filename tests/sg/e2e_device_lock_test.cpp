// The commands that change the expander (download through its activation,
// reset) hold the device's lock to their end; query and log take none. The
// simulator keeps the host's lock directory in the expander's state
// (STATE/run-lock stands for /run/corvane), and numbers its node kNodeMajor:0,
// so the lock file the program names is found there.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <fcntl.h>
#include <string>
#include <thread>
#include <vector>

#include "door/sim_env.h"
#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::byte_vector;
using testsupport::sim_event;
using testsupport::sim_options;
using testsupport::sim_pending;
using testsupport::sim_result;
using testsupport::sim_session;

constexpr const char *kNode = "/dev/sgsim0";
constexpr const char *kWaitLine = "waiting for another corvane on /dev/sgsim0\n";
const std::regex kWaitNamingHolder(
    "waiting for another corvane on /dev/sgsim0 \\(pid [1-9][0-9]*, holding it since "
    "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\)\n");

// A signed firmware image of pieces * 512 bytes carrying version and, after
// its header, the fill byte: every piece on the wire tells whose it is.
byte_vector firmware(const char *version, std::uint8_t fill, std::size_t pieces) {
  byte_vector b(pieces * 512, fill);
  const std::uint8_t head[] = {0x50, 0x4D, 0x43, 0x00, 0, 0, 0, 0};
  std::copy(std::begin(head), std::end(head), b.begin());
  std::copy(version, version + 3, b.begin() + 8);
  return b;
}

// The lock file of the simulated node, where the simulator keeps it.
std::string lock_file(const sim_session &s) {
  return s.state_dir() + "/" + sim::env::kStateLockDir + "/corvane-c" +
         std::to_string(sim::env::kNodeMajor) + ":0.lock";
}

// Holds the device's lock as another corvane would, until released.
struct held_lock {
  int fd;
  explicit held_lock(const sim_session &s) {
    ::mkdir((s.state_dir() + "/" + sim::env::kStateLockDir).c_str(), 0777);
    fd = ::open(lock_file(s).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX), 0);
  }
  void release() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  ~held_lock() { release(); }
};

// Waits up to 30 s for the pending run to end, or to say something on
// standard error.
void wait_for(const sim_pending &p, bool for_err) {
  for (int i = 0; i < 3000; ++i) {
    if (p.ended() || (for_err && !p.err_so_far().empty())) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The fill byte of each download piece and each activation (0x91) in the
// order the expander received them from both programs.
std::string sends_in_order(const std::vector<sim_event> &transcript) {
  std::string order;
  for (const sim_event &e : testsupport::events_of(transcript, "sgio")) {
    const byte_vector data = e.bytes("data_out");
    if (data.size() > 9 + 8 && data[0] == 0x04) order += data.back() == 0xA1 ? 'A' : 'B';
    if (!data.empty() && data[0] == 0x91) order += '!';
  }
  return order;
}

// Two downloads started together against one expander: each image arrives
// whole and is activated before the other's first piece; both succeed.
TEST(E2eDeviceLock, TwoDownloadsArriveOneAfterTheOther) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  constexpr std::size_t kPieces = 48;
  const std::string a = s.write_file("a.bin", firmware("201", 0xA1, kPieces));
  const std::string b = s.write_file("b.bin", firmware("202", 0xB2, kPieces));
  sim_options o;
  o.faults = {"delay:*=8"};  // each request answered late: the runs overlap
  o.transcript = s.dir() + "/shared-transcript";
  const sim_pending first = s.start({"download=" + a, kNode}, o);
  const sim_pending second = s.start({"download=" + b, kNode}, o);
  const sim_result ra = s.finish(first);
  const sim_result rb = s.finish(second);

  for (const sim_result *r : {&ra, &rb}) {
    EXPECT_EQ(r->status, 0) << r->out << r->err;
    EXPECT_EQ(r->out, "Please Wait for downloading...\nSwap active rom...\nFirmware update success!\n");
    // The one that waited names the holder: its pid and since when.
    EXPECT_TRUE(r->err.empty() || std::regex_match(r->err, kWaitNamingHolder)) << r->err;
  }
  EXPECT_TRUE(ra.err.empty() || rb.err.empty());
  const std::string order = sends_in_order(rb.transcript);  // read once both had ended
  const std::string as(kPieces, 'A');
  const std::string bs(kPieces, 'B');
  EXPECT_TRUE(order == as + "!!" + bs + "!!" || order == bs + "!!" + as + "!!") << order;

  const std::string last = order.rfind('A') > order.rfind('B') ? "201" : "202";
  const sim_result q = s.run({"query", kNode});
  EXPECT_NE(q.out.find("Image Version: " + last + "\n"), std::string::npos) << q.out;
}

struct changing_command {
  const char *name;
  bool download;
  const char *screen;
};

class E2eDeviceLockWaits : public testing::TestWithParam<changing_command> {};

// A command that changes the expander waits while another holds the lock,
// says so once on standard error, and goes on when the lock is released.
TEST_P(E2eDeviceLockWaits, WhileAnotherHoldsTheLock) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string fw = s.write_file("fw.bin", firmware("203", 0xA1, 2));
  held_lock other(s);
  const sim_pending run =
      s.start(GetParam().download ? std::vector<std::string>{"download=" + fw, kNode}
                                  : std::vector<std::string>{"reset", kNode});
  wait_for(run, true);
  EXPECT_EQ(run.err_so_far(), kWaitLine);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(run.ended()) << "went on while the lock was held";
  other.release();
  const sim_result r = s.finish(run);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, GetParam().screen);
  EXPECT_EQ(r.err, kWaitLine);
  EXPECT_TRUE(r.leaks.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, E2eDeviceLockWaits,
    testing::Values(changing_command{"Download", true,
                                     "Please Wait for downloading...\nSwap active rom...\n"
                                     "Firmware update success!\n"},
                    changing_command{"Reset", false, "expander reset success!\n"}),
    [](const testing::TestParamInfo<changing_command> &info) { return info.param.name; });

// query and log only read: they take no lock and never wait.
TEST(E2eDeviceLock, QueryAndLogTakeNoLock) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  held_lock other(s);
  for (const char *command : {"query", "log"}) {
    const sim_pending run = s.start({command, kNode});
    wait_for(run, false);
    const bool ended = run.ended();
    if (!ended) other.release();
    const sim_result r = s.finish(run);
    EXPECT_TRUE(ended) << command << " waited for the lock";
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.err, "") << command;
  }
}

// Where no lock file can be made (here the lock directory is a plain file),
// the command goes on as it did before locks, saying so once on standard
// error; its screen, log and audit lines are those of an unlocked run.
TEST(E2eDeviceLock, NoLockDirectoryGoesOnAndSaysSoOnce) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  sim_session s;
  const std::string fw = s.write_file("fw.bin", firmware("204", 0xA1, 2));
  s.write_file("state/" + std::string(sim::env::kStateLockDir), {0x00});
  for (const char *command : {"download", "reset"}) {
    const sim_result r = s.run(std::string(command) == "download"
                                   ? std::vector<std::string>{"download=" + fw, kNode}
                                   : std::vector<std::string>{"reset", kNode});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.err,
              "cannot lock /dev/sgsim0 against another corvane (Not a directory), going on "
              "without the lock\n")
        << command;
    EXPECT_EQ(r.audit.size(), 1u) << command;
    EXPECT_NE(r.out.find("success!\n"), std::string::npos) << command;
  }
}

}  // namespace
